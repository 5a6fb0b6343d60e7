#!/usr/bin/python3
"""A G-code run on the front panel in a real browser (headless Chromium), as an operator
uses it.

Runs `korva3 gcode PART --panel --csv`, opens the printed address and checks: the whole
planned path is on the page while the program is still on its first cut, with the
listing around the current line; the feed override slider at 200 % doubles the feed
(in the CSV the tool writes); feed hold brings the axes to rest on the programmed line
and resume goes on to the program's exact end (exit code 0). Saves a screenshot. Then
runs the part again with --panel-keep: "stop program" ends it at rest on its path with
exit code 4 and its message, the page stays up showing how it ended, and Ctrl-C closes
it with the program's exit code. Last, a short job with `korva3 run --panel-keep`: the
kept page shows its steps' lines and how it ended.

usage: gcode_panel_browser_test.py KORVA3 PART.ngc SCREENSHOT.png
"""
import base64
import csv
import json
import math
import os
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from panel_browser_test import TIMEOUT, Browser, check, close, line_reader, wait_for  # noqa: E402

CUT_LINE = 4    # G1 X80 Y40 F600: the diagonal cut
CUT_FEED = 600  # mm/min
SCALE = 1000    # pulses per mm


def start(korva3, part, *options):
    """The browser first (slow to start on a loaded host), then the run, then its page."""
    browser = Browser()
    browser.call("Page.enable")
    browser.call("Emulation.setDeviceMetricsOverride", width=1120, height=800,
                 deviceScaleFactor=1, mobile=False)
    tool = subprocess.Popen([korva3, "gcode", part, "--panel", *options], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, bufsize=1)
    next_line = line_reader(tool.stdout)
    url = next_line(r"^panel: (http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{64})$").group(1)
    browser.call("Page.navigate", url=url)
    wait_for(lambda: browser.text("link") == "live", "the page's event stream")
    # The program waits for the operator: nothing moves until cycle start is pressed.
    wait_for(lambda: browser.text("job-state") == "waiting for cycle start", "the program waiting")
    check(browser.js("document.getElementById('job-start').disabled") is False,
          "cycle start can be pressed")
    time.sleep(0.3)
    check(position(browser) == [0, 0, 0], "nothing moved before cycle start")
    browser.js("document.getElementById('job-start').click()")
    return tool, next_line, browser


def on_cut(browser):
    """The page's current line is the diagonal cut."""
    return browser.js("(document.querySelector('#job-listing .now .n') || {}).textContent") == str(CUT_LINE)


def press_override(browser, percent):
    """Moves the slider as a hand would: input while dragging, change on release."""
    browser.js(f"(() => {{ const s = document.getElementById('job-override'); s.value = {percent};"
               " s.dispatchEvent(new Event('input')); s.dispatchEvent(new Event('change')); })()")


def pulses(browser, cell):
    """A position the page shows in mm (the program's scale), in pulses."""
    return round(float(browser.text(cell)) * SCALE)


def position(browser):
    return [pulses(browser, f"c0-fb{k}") for k in range(3)]


def on_diagonal(p):
    """On the line from (0, 0) to (80, 40) mm: y = x / 2, to a pulse of rounding."""
    return abs(p[0] - 2 * p[1]) <= 2 and 0 <= p[0] <= 80 * SCALE


def cut_speeds(csv_path):
    """Path speeds (mm/min) on the cut, over 100 ms windows of the CSV."""
    rows = [r for r in csv.DictReader(open(csv_path)) if r["line"] == str(CUT_LINE)]
    t = [float(r["time_ms"]) for r in rows]
    xy = [(int(r["x"]), int(r["y"])) for r in rows]
    speeds, k = [], 0
    for i in range(len(rows)):
        while k < len(rows) and t[k] < t[i] + 100:
            k += 1
        if k == len(rows):
            break
        mm = math.dist(xy[i], xy[k]) / SCALE
        speeds.append(mm / (t[k] - t[i]) * 60000)
    return speeds


def run_override_hold(korva3, part, screenshot):
    out = tempfile.mkdtemp(prefix="korva-gcode-panel-")
    csv_path = os.path.join(out, "run.csv")
    tool, next_line, browser = start(korva3, part, "--csv", csv_path)
    try:
        wait_for(lambda: on_cut(browser), "the diagonal cut on the page", 40)
        planned = browser.js("job.plan.path.length")
        extent = browser.text("job-extent")
        check(planned > 20 and extent == "X 0.0..80.0 mm  Y 0.0..50.0 mm",
              f"the whole planned path ({planned} points, {extent}) is drawn during the first cut")
        check(browser.js("document.querySelector('#job-listing .now').textContent").endswith("G1 X80 Y40 F600"),
              "the listing highlights the current line")
        check(len(browser.js("[...document.querySelectorAll('#job-listing div')]")) >= 5,
              "with lines around it")
        check(browser.js("document.querySelector('#job-ops h3').textContent") == "Operator: program",
              "the feed controls are the operator's")
        browser.js("window.seen = 0; events.addEventListener('message', () => window.seen++)")
        time.sleep(1.0)
        rate = browser.js("window.seen")
        check(5 <= rate <= 40, f"about {rate} updates a second with the program's state in them")
        press_override(browser, 200)
        wait_for(lambda: browser.text("job-feed") == "600 mm/min \u00d7 200 % = 1200 mm/min",
                 "the programmed feed at 200 % on the page")
        check(browser.text("job-override-value") == "200 %", "the slider shows 200 %")
        time.sleep(1.0)
        browser.click("job-hold")
        wait_for(lambda: browser.text("job-state") == "held", "the page showing the hold")
        time.sleep(0.2)  # the positions' last update may be a little older than the state's
        at = position(browser)
        time.sleep(0.5)
        check(position(browser) == at, f"held: the axes stand at {at}")
        check(on_diagonal(at), f"held on the programmed line (X {at[0]}, Y {at[1]})")
        check([pulses(browser, f"c0-pos{k}") for k in range(3)] == at,
              "nothing queued while held (commanded = actual)")
        browser.click("job-resume")
        wait_for(lambda: browser.text("job-state") == "running", "running again after resume")
        wait_for(lambda: pulses(browser, "c0-fb1") == 50 * SCALE, "the outline's top edge", 40)
        time.sleep(1.0)
        shot = browser.call("Page.captureScreenshot", format="png")
        with open(screenshot, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        print("screenshot:", screenshot)
        code = tool.wait(TIMEOUT)
        check(code == 0, f"the program ends with exit code 0 (got {code})")
        rows = list(csv.DictReader(open(csv_path)))
        check((rows[-1]["x"], rows[-1]["y"]) == ("0", "0"), "resume ends at the exact end point")
        speeds = cut_speeds(csv_path)
        for feed in (CUT_FEED, 2 * CUT_FEED):
            check(any(abs(v - feed) < 0.02 * feed for v in speeds),
                  f"the CSV has the cut at {feed} mm/min")
    finally:
        browser.close()
        if tool.poll() is None:
            tool.kill()
            tool.wait()


def run_stop_keep(korva3, part):
    tool, next_line, browser = start(korva3, part, "--panel-keep")
    try:
        wait_for(lambda: on_cut(browser), "the diagonal cut on the page", 40)
        time.sleep(1.0)
        browser.click("job-stop")
        next_line(r"^panel: kept open after the end \(exit code 4\)")
        check(tool.poll() is None, "the tool keeps the page up after the end")
        wait_for(lambda: browser.text("job-state").startswith("ended: stopped by the operator at line 4"),
                 "the page saying how the program ended")
        check(browser.js("document.getElementById('job-hold').disabled"), "its controls are off")
        at = position(browser)
        check(on_diagonal(at) and at[0] > 0, f"at rest on the programmed line (X {at[0]}, Y {at[1]})")
        tool.send_signal(signal.SIGINT)
        code = tool.wait(TIMEOUT)
        err = tool.stderr.read()
        check(code == 4, f"Ctrl-C then ends it with the program's exit code 4 (got {code})")
        check("stopped by the operator (panel)" in err and "panel closed" in err,
              "it says it was stopped by the operator, and that the panel closed")
    finally:
        browser.close()
        if tool.poll() is None:
            tool.kill()
            tool.wait()


def run_job_keep(korva3):
    """A job (`korva3 run --panel-keep`): its steps' lines on the page, kept after the end."""
    folder = tempfile.mkdtemp(prefix="korva-job-panel-")
    job = os.path.join(folder, "short.job")
    with open(job, "w") as f:
        f.write("INITIAL\nREGISTRATION 0 0\nINTP_LINE 0 2000 0 4\nwait 0\nprint 0\n")
    tool = subprocess.Popen([korva3, "run", job, "--panel-keep"], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, bufsize=1)
    next_line = line_reader(tool.stdout)
    browser = None
    try:
        url = next_line(r"^panel: (http://\S+)$").group(1)
        next_line(r"^panel: kept open after the end \(exit code 0\)")
        browser = Browser()
        browser.call("Page.enable")
        browser.call("Page.navigate", url=url)
        wait_for(lambda: browser.text("job-state") == "ended: job complete, exit code 0",
                 "the kept page saying how the job ended")
        check(browser.text("job-progress").startswith("100 % (step 5 of 5)"), "all 5 steps done")
        check(browser.js("document.querySelector('#job-listing .now').textContent") == "5print 0",
              "the job's last line highlighted in its listing")
        check(browser.js("document.getElementById('job-ops').hidden"),
              "a job offers no feed controls")
        tool.send_signal(signal.SIGINT)
        check(tool.wait(TIMEOUT) == 0, "Ctrl-C closes it with the job's exit code 0")
    finally:
        close(browser, tool)


def main():
    korva3, part, screenshot = sys.argv[1:4]
    run_override_hold(korva3, part, screenshot)
    run_stop_keep(korva3, part)
    run_job_keep(korva3)
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
