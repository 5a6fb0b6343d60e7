#!/usr/bin/python3
"""Jog and homing on an idle machine, as an operator does it in headless Chromium.

Runs `korva3 panel --machine MACHINE`, opens the printed address and checks: positions and
speeds in mm with the file's scale; a step jog moves the axis by exactly the step (the
page's mm by the step, the card's pulses by step * scale, the state the page is served);
homing runs the axis to its home switch, which becomes 0, also one held on the test
bench, and every axis in turn; a jog stopped by a limit switch says so; the emergency
stop ends a jog under way, and under it the jog buttons are off, the page says why, and a
jog sent anyway is refused and moves nothing; an emergency stop whose first presses are
lost on the way says "not confirmed" and is pressed again until the latch shows; Ctrl-C (SIGINT) ends the program at once,
also mid-jog, with an emergency stop. Saves a screenshot.

usage: panel_jog_browser_test.py KORVA3 MACHINE.toml SCREENSHOT.png
"""
import base64
import json
import signal
import subprocess
import sys
import time
import urllib.request

from panel_browser_test import check, close, line_reader, open_page, status_of, wait_for

SCALE = (800, 1000, 400)  # MACHINE.toml's pulses per mm


def state(base, token):
    with urllib.request.urlopen(f"{base}/state?token={token}", timeout=5) as r:
        return json.load(r)


def actual(base, token, axis):
    return state(base, token)["cards"][0]["act"][axis]


def main():
    korva3, machine, screenshot = sys.argv[1:4]
    tool = subprocess.Popen([korva3, "panel", "--machine", machine], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, bufsize=1)
    next_line = line_reader(tool.stdout)
    browser = None
    try:
        url = next_line(r"^panel: (http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{64})$").group(1)
        base, token = url.split("/?token=")
        browser = open_page(url)
        b = browser
        b.call("Emulation.setDeviceMetricsOverride", width=1040, height=900, deviceScaleFactor=1,
               mobile=False)
        wait_for(lambda: b.js("!(document.getElementById('c0-jog') || {hidden: true}).hidden"),
                 "the jog buttons")
        check(b.js("!!document.querySelector('#c0-operator #c0-jogXplus')"),
              "jog and homing are the operator's controls")
        headings = b.js("[...document.querySelectorAll('#card0 th')].map(e => e.textContent)")
        check({"commanded (mm)", "actual (mm)", "speed (mm/min)"} <= set(headings),
              f"positions in mm and speeds in mm/min: {headings}")
        check([b.text(f"c0-step{n}") for n in range(4)] == ["0.01 mm", "0.1 mm", "1 mm", "10 mm"],
              "steps of 0.01, 0.1, 1 and 10 mm")

        def ready():
            return b.text("c0-jogstate").startswith("ready")

        def jog(button, step, note):
            b.click(f"c0-step{step}")
            wait_for(ready, "the jog buttons ready")
            b.click(button)
            wait_for(lambda: note in b.text("c0-jognote") and ready(), f"{note!r} on the page")

        # Step jogs move by exactly the step: mm on the page, step * scale pulses on the card.
        for axis, button, step, note, mm in [
                (0, "c0-jogXplus", 2, "jog X +1 mm: done", "1.000"),
                (0, "c0-jogXminus", 0, "jog X -0.01 mm: done", "0.990"),
                (2, "c0-jogZminus", 1, "jog Z -0.1 mm: done", "-0.100"),
                (1, "c0-jogYplus", 2, "jog Y +1 mm: done", "1.000")]:
            jog(button, step, note)
            wait_for(lambda: b.text(f"c0-fb{axis}") == mm, f"axis {axis} at {mm} mm")
            check(b.text(f"c0-pos{axis}") == mm, f"{note}: commanded and actual {mm} mm")
            pulses = round(float(mm) * SCALE[axis])
            check(actual(base, token, axis) == pulses, f"the card's axis {axis} at {pulses} pulses")

        # Speed while a 10 mm jog runs (X at 600 mm/min), 0 at rest.
        b.click("c0-step3")
        wait_for(ready, "ready")
        b.click("c0-jogXplus")
        wait_for(lambda: b.text("c0-jogstate").startswith("a jog or homing runs"),
                 "the page saying a jog runs")
        check(b.js("document.getElementById('c0-jogYplus').disabled"), "no second jog meanwhile")
        wait_for(lambda: 500 <= int(b.text("c0-v0")) <= 650, "X's speed near 600 mm/min")
        check(b.text("c0-pathspeed").endswith(" mm/min"), "the path speed in mm/min")
        time.sleep(0.3)
        shot = b.call("Page.captureScreenshot", format="png")
        with open(screenshot, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        print("screenshot:", screenshot)
        wait_for(lambda: "jog X +10 mm: done" in b.text("c0-jognote"), "the 10 mm jog done")
        wait_for(lambda: b.text("c0-v0") == "0", "X's speed 0 at rest")
        check(actual(base, token, 0) == 792 + 8000, "X at 10.990 mm: 8792 pulses")

        # Homing: X runs back to its home switch, which becomes 0; Y stops at a home switch
        # held on the test bench.
        b.click("c0-homeX")
        wait_for(lambda: "homed X: home switch found" in b.text("c0-jognote"), "X homed", 60)
        wait_for(lambda: b.text("c0-fb0") == "0.000", "X at 0.000 mm on the page")
        check(actual(base, token, 0) == 0, "X at 0 after homing")
        b.click("c0-home1")  # the bench's home switch Y, held
        wait_for(lambda: b.has_class("c0-home1", "on"), "the home switch Y held")
        wait_for(ready, "ready")
        b.click("c0-homeY")
        wait_for(lambda: "homed Y" in b.text("c0-jognote"), "Y homed at the held switch")
        wait_for(lambda: b.text("c0-fb1") == "0.000", "Y at 0.000 mm on the page")
        check(actual(base, token, 1) == 0, "Y is 0 where its home switch was found")
        b.click("c0-home1")

        # A limit switch held on the test bench stops a jog towards it, and the page says so.
        b.click("c0-limit_high0")
        wait_for(lambda: b.has_class("c0-limit_high0", "on"), "X's high limit switch held")
        jog("c0-jogXplus", 2, "jog X +1 mm: stopped short (a limit switch?), X at 0.000 mm")
        b.click("c0-limit_high0")
        wait_for(lambda: not b.has_class("c0-limit_high0", "on"), "the switch let go")

        # The emergency stop ends a jog under way; under it nothing jogs, and the page
        # says why.
        b.click("c0-step3")
        wait_for(ready, "ready")
        b.click("c0-jogXplus")
        wait_for(lambda: int(b.text("c0-v0")) > 0, "X jogging 10 mm")
        b.click("c0-estop")
        wait_for(lambda: "ended by the emergency stop" in b.text("c0-jognote"),
                 "the page saying the jog ended by the emergency stop")
        wait_for(lambda: b.text("c0-v0") == "0", "X standing")
        held = actual(base, token, 0)
        check(0 < held < 8000, f"X stopped short of the step, at {held} pulses")
        wait_for(lambda: "emergency stop is pressed" in b.text("c0-jogstate"),
                 "the page saying jog is refused under the emergency stop")
        check(b.js("[...document.querySelectorAll('#c0-jog button:not(.step)')]"
                   ".every(e => e.disabled)"), "every jog and homing button is off")
        before = actual(base, token, 2)
        code = status_of(f"{base}/command?token={token}&card=0&do=jog&axis=3&pulses=4000",
                         method="POST")
        check(code == 400, "a jog sent anyway is refused")
        time.sleep(0.5)
        check(actual(base, token, 2) == before, "and Z did not move")
        check(actual(base, token, 0) == held, "X stays where the stop found it")
        b.click("c0-release")
        wait_for(ready, "jog ready again after the release")
        jog("c0-jogZplus", 1, "jog Z +0.1 mm: done")
        wait_for(lambda: b.text("c0-fb2") == "0.000", "Z back at 0.000 mm")
        b.click("c0-homeall")
        wait_for(lambda: "homed Z, X, Y: home switch found" in b.text("c0-jognote"),
                 "every axis homed, Z first", 60)
        wait_for(lambda: state(base, token)["cards"][0]["act"] == [0, 0, 0], "X, Y and Z at 0")

        # A press lost on the way (closed unanswered, twice) is pressed again until the
        # page sees the latch; meanwhile it says so.
        resets = state(base, token)["cards"][0]["resets"]
        b.call("Fetch.enable", patterns=[{"urlPattern": "*do=estop*"}])
        b.click("c0-estop")
        for attempt in range(2):
            held = b.event("Fetch.requestPaused")
            check(b.text("c0-estop-state").endswith(f"not confirmed yet: pressing again "
                                                    f"({attempt + 1} sent)"),
                  f"press {attempt + 1} under way: {b.text('c0-estop-state')!r}")
            b.call("Fetch.failRequest", requestId=held["requestId"], errorReason="ConnectionClosed")
        b.call("Fetch.continueRequest", requestId=b.event("Fetch.requestPaused")["requestId"])
        wait_for(lambda: b.text("c0-estop-state") == "PRESSED: no axis moves until released",
                 "the latch seen on the page after the third press")
        b.call("Fetch.disable")
        check(state(base, token)["cards"][0]["estop"], "the card's emergency stop latched")
        wait_for(lambda: state(base, token)["cards"][0]["resets"] > resets, "the card reset")
        time.sleep(0.5)
        # Once by the press that got through, once more by the controller after the last
        # slice it had sent of the jog (no slice of it may run after the stop).
        check(state(base, token)["cards"][0]["resets"] == resets + 2,
              "the card reset by the press that got through, and again by the controller")
        b.click("c0-release")
        wait_for(ready, "jog ready again after the release")

        # Ctrl-C mid-jog: the program ends at once, stopping the card.
        b.click("c0-step3")
        wait_for(ready, "ready")
        b.click("c0-jogXminus")
        wait_for(lambda: int(b.text("c0-v0")) < 0, "X jogging")
        sent = time.monotonic()
        tool.send_signal(signal.SIGINT)
        code = tool.wait(10)
        check(time.monotonic() - sent < 3, "Ctrl-C ends it within seconds")
        check(code == 130, f"exit code {code} after Ctrl-C (130)")
        err = tool.stderr.read()
        check("emergency stop on card 0" in err, "it stopped card 0: " + err.strip())
        wait_for(lambda: b.text("link") == "machine gone", "the page saying the machine is gone")
        print("PASS")
        return 0
    finally:
        close(browser, tool)


if __name__ == "__main__":
    sys.exit(main())
