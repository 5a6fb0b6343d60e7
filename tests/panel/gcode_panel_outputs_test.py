#!/usr/bin/python3
"""How a G-code run on the panel ends when the operator ends it, seen from the card.

For each way (a table): runs `korva3 gcode spindle_part.ngc --panel [--panel-keep] --start`,
waits until the card's spindle and flood outputs are on and the card executes a cut
line, then presses the page's "stop program" or its emergency stop over HTTP as the page
does. Checks on the virtual card's own state (the panel's /state): spindle (output 0)
and flood (output 2) off, the axes at rest; the tool's exit code and message; the kept
page showing how it ended, with the line the card stood at and the progress short of
100 %. Ctrl-C then closes the kept page with the run's exit code; not kept, the tool ends
with it by itself. Last, a job (`korva3 run --panel-keep`) ended by the emergency stop.

usage: gcode_panel_outputs_test.py KORVA3 PART.ngc
"""
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

TIMEOUT = 30
SPINDLE, FLOOD = 1 << 0, 1 << 2
FIRST_CUT, LAST_CUT = 6, 25 # the program's lines G1 X1 .. G1 X20

# (what the operator presses, --panel-keep, exit code, words of the tool's message, the
# page's end)
WAYS = [
    ("stop_program", True, 4, "stopped by the operator (panel)", r"stopped by the operator at line (\d+), exit code 4"),
    ("estop", True, 3, "stopped by the emergency stop (panel)",
     r"emergency stop at line (\d+), spindle and coolant off, exit code 3"),
    ("estop", False, 3, "stopped by the emergency stop (panel)", None),
]

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(predicate, what, timeout=TIMEOUT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


class Panel:
    def __init__(self, url):
        self.origin, self.token = re.match(r"(http://[^/]+)/\?token=(\w+)", url).groups()

    def state(self):
        """The panel's state once it has one (before its first it is {})."""
        def read():
            with urllib.request.urlopen(f"{self.origin}/state?token={self.token}", timeout=5) as r:
                return json.loads(r.read()) or None
        return wait_for(read, "the panel's state")

    def press(self, what):
        q = f"{self.origin}/command?card=0&do={what}&token={self.token}"
        with urllib.request.urlopen(urllib.request.Request(q, data=b"", method="POST"), timeout=5) as r:
            return r.status


def run(korva3, part, way, keep, code, message, end):
    tool = subprocess.Popen([korva3, "gcode", part, "--panel", "--start"] + (["--panel-keep"] if keep else []),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, bufsize=1)
    try:
        url = wait_for(lambda: re.match(r"^panel: (\S+)$", tool.stdout.readline()), "the address").group(1)
        panel = Panel(url)
        card = lambda: panel.state()["cards"][0]
        now = lambda: (panel.state()["job"]["now"] or {})
        wait_for(lambda: card()["outputs"] & (SPINDLE | FLOOD) == SPINDLE | FLOOD and
                 FIRST_CUT + 2 <= now().get("line", 0) <= LAST_CUT - 8, "spindle and flood on, a cut running")
        check(panel.press(way) in (200, 204), f"{way}: pressed")
        if not keep:  # the tool ends by itself, at once
            check(tool.wait(TIMEOUT) == code, f"{way}, not kept: exit code {code} (got {tool.returncode})")
            check(message in tool.stderr.read(), f"{way}, not kept: the tool says {message!r}")
            return
        wait_for(lambda: now().get("state") == "ended", f"{way}: the page shows the end")
        # The card's part of the state is the machine's view, up to a few of its
        # publishing periods older than the program's part.
        clock = panel.state()["clock_ms"]
        c = wait_for(lambda: (lambda s: s["clock_ms"] > clock + 200 and s["cards"][0])(panel.state()),
                     "the card's view after the end")
        check(c["outputs"] & (SPINDLE | FLOOD) == 0, f"{way}: spindle and flood off on the card (outputs {c['outputs']:#x})")
        check(c["pos"] == c["act"] and c["queued"] == 0, f"{way}: the card at rest, nothing queued")
        ended = re.search(end, now().get("end", ""))
        check(ended is not None, f"{way}: the kept page says how it ended ({now().get('end')!r})")
        if ended:
            line = int(ended.group(1))
            check(FIRST_CUT <= line <= LAST_CUT, f"{way}: it ended on a cut line ({line})")
            check(now()["line"] == line, f"{way}: the page's line is the card's ({now()['line']})")
        done = now().get("done", 1)
        check(0 < done < 0.95, f"{way}: progress short of 100 % ({done:.2f})")
        tool.send_signal(signal.SIGINT)
        check(tool.wait(TIMEOUT) == code, f"{way}: Ctrl-C closes it with exit code {code} (got {tool.returncode})")
        err = tool.stderr.read()
        check(message in err, f"{way}: the tool says {message!r}")
    finally:
        if tool.poll() is None:
            tool.kill()
            tool.wait()


def run_job_estop(korva3):
    """A job (`korva3 run --panel-keep`) whose long line the emergency stop ends: the card at
    rest short of the line's end, the kept page at the step it ended on, exit code 3."""
    job = os.path.join(tempfile.mkdtemp(prefix="korva-job-estop-"), "long.job")
    with open(job, "w") as f:
        f.write("INITIAL\nREGISTRATION 0 0\nINTP_LINE 0 400000 0 4\nwait 0\nprint 0\n")
    tool = subprocess.Popen([korva3, "run", job, "--panel-keep"], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, bufsize=1)
    try:
        panel = Panel(wait_for(lambda: re.match(r"^panel: (\S+)$", tool.stdout.readline()), "the address").group(1))
        now = lambda: panel.state()["job"]["now"] or {}
        wait_for(lambda: now().get("step") == 3 and panel.state()["cards"][0]["pos"][0] > 1000, "the long line running")
        check(panel.press("estop") in (200, 204), "job: emergency stop pressed")
        wait_for(lambda: now().get("state") == "ended", "job: the kept page shows the end")
        check(now().get("end") == "stopped by the emergency stop, exit code 3" and now().get("step") == 3
              and now().get("done") < 1, f"job: the page says how and where it ended ({now()})")
        c = panel.state()["cards"][0]
        check(c["pos"] == c["act"] and c["queued"] == 0 and c["pos"][0] < 400000,
              f"job: the card at rest short of the line's end ({c['pos']})")
        tool.send_signal(signal.SIGINT)
        check(tool.wait(TIMEOUT) == 3, f"job: Ctrl-C closes it with exit code 3 (got {tool.returncode})")
        check("long.job:3: stopped by the emergency stop (panel)" in tool.stderr.read(), "job: the tool says so")
    finally:
        if tool.poll() is None:
            tool.kill()
            tool.wait()


def main():
    korva3, part = sys.argv[1:3]
    for way, keep, code, message, end in WAYS:
        run(korva3, part, way, keep, code, message, end)
    run_job_estop(korva3)
    print("FAILED: " + "; ".join(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
