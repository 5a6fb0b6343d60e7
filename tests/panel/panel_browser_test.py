#!/usr/bin/python3
"""The front panel in a real browser (headless Chromium, driven over its DevTools
protocol on the loopback address).

Runs `korva3 run watched.job --panel`, opens the printed address, and checks what a
person would: the operator's controls and the simulated machine's test bench are apart
and labelled; the positions move; holding X's high limit switch stops the axis and the
job goes on (it lights an output that the page shows); the emergency stop ends the job at once (exit code 3, "emergency
stop (panel)"); updates come at a bounded rate; requests without the token, with a wrong
one or from another origin are refused. Saves a screenshot. Then runs LATCH_PROGRAM, which
goes on sending paths whatever happens: under the emergency stop its frames arrive and
nothing moves (at rest, the actual position equals the commanded one), and once
released the axis moves again.

usage: panel_browser_test.py KORVA3 JOB SCREENSHOT.png LATCH_PROGRAM
"""
import base64
import json
import os
import queue
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

import websocket

TIMEOUT = 30.0  # seconds for anything the machine should do in a few


class Browser:
    """Headless Chromium with one page, driven through the DevTools protocol."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="korva-panel-chromium-")
        self.proc = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu",
             "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
             "--user-data-dir=" + self.profile, "--window-size=1100,620",
             "--no-first-run", "--no-default-browser-check", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        port = wait_for(lambda: os.path.exists(port_file) and open(port_file).readline().strip(),
                        "Chromium's debugging port")
        targets = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list"))
        page = next(t for t in targets if t["type"] == "page")
        self.ws = websocket.create_connection(page["webSocketDebuggerUrl"], timeout=TIMEOUT,
                                              suppress_origin=True)
        self.next_id = 0
        self.events = []  # Fetch.* events (requests held by Fetch.enable), oldest first

    def _receive(self):
        msg = json.loads(self.ws.recv())
        if msg.get("method", "").startswith("Fetch."):
            self.events.append(msg)
        return msg

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            msg = self._receive()
            if msg.get("id") == self.next_id:
                if "error" in msg:
                    raise RuntimeError(f"{method}: {msg['error']}")
                return msg["result"]

    def event(self, method):
        """The next event `method` (of those kept: Fetch.*), waiting up to TIMEOUT."""
        while not any(e["method"] == method for e in self.events):
            self._receive()
        found = next(e for e in self.events if e["method"] == method)
        self.events.remove(found)
        return found["params"]

    def js(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def text(self, element_id):
        return self.js(f"(document.getElementById({json.dumps(element_id)}) || {{}}).textContent")

    def has_class(self, element_id, name):
        return self.js(f"document.getElementById({json.dumps(element_id)}).classList"
                       f".contains({json.dumps(name)})")

    def click(self, element_id):
        self.js(f"document.getElementById({json.dumps(element_id)}).click()")

    def close(self):
        try:
            self.ws.close()
        finally:
            self.proc.terminate()
            self.proc.wait(10)
            shutil.rmtree(self.profile, ignore_errors=True)


def wait_for(condition, what, timeout=TIMEOUT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def status_of(url, headers=None, method="GET"):
    request = urllib.request.Request(url, headers=headers or {}, method=method,
                                     data=b"" if method == "POST" else None)
    try:
        return urllib.request.urlopen(request, timeout=5).status
    except urllib.error.HTTPError as e:
        return e.code


def close(browser, tool):
    """The page, then the tool if it still runs."""
    if browser:
        browser.close()
    if tool.poll() is None:
        tool.kill()
        tool.wait()


def check(condition, message):
    if not condition:
        raise AssertionError(message)
    print("ok:", message)


def open_page(url):
    browser = Browser()
    browser.call("Page.enable")
    browser.call("Emulation.setDeviceMetricsOverride", width=1040, height=760,
                 deviceScaleFactor=1, mobile=False)
    browser.call("Page.navigate", url=url)
    wait_for(lambda: browser.text("link") == "live", "the page's event stream")
    return browser


def line_reader(stream):
    """next_line(pattern): the next line of `stream` that matches, within TIMEOUT."""
    lines = queue.Queue()
    threading.Thread(target=lambda: [lines.put(l) for l in stream], daemon=True).start()

    def next_line(pattern):
        end = time.monotonic() + TIMEOUT
        while time.monotonic() < end:
            try:
                line = lines.get(timeout=0.2)
            except queue.Empty:
                continue
            match = re.search(pattern, line)
            if match:
                return match
        raise AssertionError(f"the job never printed {pattern!r}")
    return next_line


def main():
    korva3, job, screenshot, latch_program = sys.argv[1:5]
    tool = subprocess.Popen([korva3, "run", job, "--panel"], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, bufsize=1)
    next_line = line_reader(tool.stdout)

    browser = None
    try:
        url = next_line(r"^panel: (http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{64})$").group(1)
        base, token = url.split("/?token=")

        # Only the printed address opens the panel.
        check(status_of(base + "/") == 403, "a request without the token is refused")
        check(status_of(base + "/state?token=" + "0" * 64) == 403, "a wrong token is refused")
        check(status_of(base + "/command?token=" + token + "&card=0&do=input&bit=0&on=1",
                        {"Origin": "http://example.com"}, "POST") == 403,
              "a command from another origin is refused")
        check(status_of(base + "/state?token=" + token, {"Host": "attacker.example:80"}) == 403,
              "another host name for the address is refused")

        browser = open_page(url)

        # The operator's controls and the simulated machine are apart, and say so.
        check(browser.js("document.querySelector('#c0-operator h3').textContent") == "Operator",
              "the operator's part is headed \"Operator\"")
        check(browser.js("document.querySelector('#c0-bench h3').textContent")
              == "Simulated machine (test bench)",
              "the switches are under \"Simulated machine (test bench)\"")
        check(browser.js("!!document.querySelector('#c0-bench #c0-limit_low0')"
                         " && !document.querySelector('#c0-operator #c0-limit_low0')"),
              "the limit switches are on the test bench, not among the operator's controls")
        check(browser.js("!!document.querySelector('#c0-operator #c0-estop')"
                         " && !!document.querySelector('#c0-operator #c0-release')"),
              "the emergency stop and its release are the operator's")
        for element, label in [("c0-limit_low0", "limit switch X-"),
                               ("c0-limit_high0", "limit switch X+"), ("c0-home0", "home switch X")]:
            check(browser.text(element) == label, f"the switch is labelled {label!r}")
        headings = browser.js("[...document.querySelectorAll('#card0 th')].map(e => e.textContent)")
        check("commanded (pulses)" in headings and "actual (pulses)" in headings,
              "commanded and actual positions, in pulses")

        # The positions move.
        first = int(wait_for(lambda: browser.text("c0-pos0"), "card 0 on the page"))
        wait_for(lambda: int(browser.text("c0-pos0")) > first + 300, "X moving on the page")
        check(browser.has_class("c0-mov0", "on"), "X's moving lamp is lit")
        check(browser.has_class("c0-out2", "on"), "output 2, set by the job, is lit")

        # Updates come at a bounded rate.
        browser.js("window.seen = 0; events.addEventListener('message', () => window.seen++)")
        time.sleep(2.0)
        rate = browser.js("window.seen") / 2.0
        check(5 <= rate <= 40, f"about {rate:.0f} updates a second (at most a few tens)")

        # A hand holds X's high limit switch: the axis stops, the job's wait ends.
        browser.click("c0-limit_high0")
        stopped = int(next_line(r"print 0 -> X (-?\d+) ").group(1))
        wait_for(lambda: browser.has_class("c0-lim1", "on"), "X's high limit lamp")
        check(browser.has_class("c0-limit_high0", "on"), "the limit switch shows as held")
        check(stopped > first, f"the job saw X stop at {stopped}")
        wait_for(lambda: browser.has_class("c0-out1", "on"), "output 1, lit by the job after its wait")
        check(int(browser.text("c0-pos0")) <= stopped, "X stays at the switch")
        browser.click("c0-limit_high0")
        wait_for(lambda: not browser.has_class("c0-limit_high0", "on"), "the switch let go")

        # The circle and the long line draw as they run; the emergency stop ends the line.
        wait_for(lambda: int(browser.text("c0-pos1")) < -3000, "the long line running", 40)
        check(browser.has_class("c0-busy", "on"), "busy while the path runs")
        time.sleep(0.3)
        shot = browser.call("Page.captureScreenshot", format="png")
        with open(screenshot, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        print("screenshot:", screenshot)
        pressed = time.monotonic()
        browser.click("c0-estop")
        code = tool.wait(TIMEOUT)
        check(time.monotonic() - pressed < 5, "the job ended within seconds of the stop")
        check(code == 3, f"the job's exit code is 3 (emergency stop), not {code}")
        err = tool.stderr.read()
        check("emergency stop (panel)" in err, "it says \"emergency stop (panel)\"")
        rest = tool.stdout.read() if not tool.stdout.closed else ""
        check("print 0" not in rest, "no line of the job ran after the stop")
        browser.close()
        browser = None
        latch(latch_program)
        print("PASS")
        return 0
    finally:
        close(browser, tool)


def latch(program):
    """The emergency stop holds the machine still under a program that keeps sending."""
    proc = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                            bufsize=1)
    next_line = line_reader(proc.stdout)
    browser = None
    try:
        url = next_line(r"^panel: (http://\S+)$").group(1)
        browser = open_page(url)
        wait_for(lambda: int(browser.text("c0-fb0") or 0) > 400, "X moving under the program")
        browser.click("c0-estop")
        wait_for(lambda: browser.text("c0-estop-state").startswith("PRESSED: no axis moves"),
                 "the page showing the emergency stop pressed")
        check(not browser.js("document.getElementById('c0-release').disabled"),
              "the release can be pressed")
        time.sleep(0.3)
        held_at = browser.text("c0-fb0")
        frames = int(browser.text("c0-frames").split()[0])
        next_line(r"^line \d+")
        next_line(r"^line \d+")
        time.sleep(1.0)
        check(int(browser.text("c0-frames").split()[0]) > frames + 100,
              "the program's frames still arrive")
        check(browser.text("c0-fb0") == held_at, f"X stays at {held_at} under the stop")
        check(browser.text("c0-pos0") == held_at,
              "at rest (nothing queued) the actual position equals the commanded one")
        browser.click("c0-release")
        wait_for(lambda: browser.text("c0-estop-state") == "released", "the release shown")
        wait_for(lambda: int(browser.text("c0-fb0")) > int(held_at) + 200,
                 "X moving again after the release")
        check(True, "released, X moves again")
    finally:
        if browser:
            browser.close()
        proc.stdin.close()
        try:
            proc.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


if __name__ == "__main__":
    sys.exit(main())
