#!/usr/bin/python3
"""The panel as a shop control, in headless Chromium, driven with keys and clicks as an
operator does, what the page shows held against what the virtual card did.

Idle machine (`korva3 panel --machine jog_machine.toml --programs DIR`): the emergency
stop and the state stay in view at 1366x768 and 1920x1080, scrolled or not; no program
box before a program is opened; a jog held on an arrow key moves X and stops within the
controller's deadline once let go, the tab hidden, the network dropped or the page
closed; arrow keys in
the MDI line do not jog; a step jog moves exactly one step; an MDI line moves the card
there, a bad one is refused where it was typed; touch-off sets the work position; Esc
presses the emergency stop; a program opened from the folder is run from a line after
showing what that does. G-code run (`korva3 gcode spindle_part.ngc --panel --panel-keep`):
cycle start, Space holds, resume, stop program; and the top bar's emergency stop: the
spindle and coolant outputs off on the card. Screenshots of each under the given folder.

usage: shop_panel_browser_test.py KORVA3 TESTS_DIR SHOTS_DIR
"""
import base64
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from panel_browser_test import Browser, check, close, line_reader, wait_for  # noqa: E402

SCALE = [800, 1000, 400]  # jog_machine.toml, pulses per mm
DEADLINE_S = 0.5          # the controller's jog deadline
PANEL = {"url": ""}       # the panel's address, token and all
KEYS = {"ArrowRight": 39, "ArrowLeft": 37, "ArrowUp": 38, "ArrowDown": 40, "PageUp": 33,
        "PageDown": 34, "Escape": 27, " ": 32, "Enter": 13}


def start(korva3, *args, size=(1366, 768)):
    browser = Browser()
    browser.call("Page.enable")
    browser.call("Network.enable")
    view(browser, size)
    tool = subprocess.Popen([korva3, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, bufsize=1)
    next_line = line_reader(tool.stdout)
    url = next_line(r"^panel: (http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{64})$").group(1)
    PANEL["url"] = url
    browser.call("Page.navigate", url=url)
    wait_for(lambda: browser.text("link") == "live", "the page's event stream")
    return browser, tool, next_line


def view(browser, size):
    browser.call("Emulation.setDeviceMetricsOverride", width=size[0], height=size[1],
                 deviceScaleFactor=1, mobile=False)


def key(browser, name, down=True):
    browser.call("Input.dispatchKeyEvent", type="keyDown" if down else "keyUp", key=name,
                 code="Space" if name == " " else name, windowsVirtualKeyCode=KEYS[name])


def act(_browser=None):
    """Card 0's actual position (pulses) from the panel's state: the card's, not the page's."""
    origin, token = re.match(r"(http://[^/]+)/\?token=(\w+)", PANEL["url"]).groups()
    with urllib.request.urlopen(f"{origin}/state?token={token}", timeout=5) as r:
        return json.loads(r.read())["cards"][0]["act"]


def at_rest(browser, axis, within_s):
    """Seconds until the card's axis stops changing (two reads 250 ms apart agree)."""
    begin = time.monotonic()
    last = act(browser)[axis]
    while time.monotonic() - begin < within_s + 5:
        time.sleep(0.25)
        now = act(browser)[axis]
        if now == last:
            return time.monotonic() - begin - 0.25
        last = now
    return float("inf")


def shot(browser, folder, name):
    browser.js("window.scrollTo(0, 0)")
    time.sleep(0.2)
    data = browser.call("Page.captureScreenshot", format="png")["data"]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(base64.b64decode(data))
    print("screenshot:", name)


def in_view(browser, element_id):
    return browser.js(f"(() => {{ const r = document.getElementById('{element_id}').getBoundingClientRect();"
                      " return r.width > 0 && r.top >= 0 && r.bottom <= innerHeight && r.right <= innerWidth; })()")


def answer(browser, where):
    return browser.text(where), browser.has_class(where, "refused")


def held_jog(browser, name, axis, release, what):
    """A jog held on `name` for 0.8 s moves `axis`; `release` ends it; it stops in time."""
    before = act(browser)[axis]
    key(browser, name)
    wait_for(lambda: abs(act(browser)[axis] - before) > SCALE[axis], f"{what}: the axis moving")
    time.sleep(0.5)
    release()
    stopped = at_rest(browser, axis, DEADLINE_S)
    check(stopped < DEADLINE_S + 0.6, f"{what}: at rest {stopped:.2f} s after (deadline {DEADLINE_S} s)")


def idle_machine(korva3, tests, shots):
    programs = tempfile.mkdtemp(prefix="korva-programs-")
    for name in ("panel_part.ngc", "spindle_part.ngc"):
        shutil.copy(os.path.join(tests, name), programs)
    browser, tool, _ = start(korva3, "panel", "--machine", os.path.join(tests, "jog_machine.toml"),
                             "--programs", programs)
    try:
        wait_for(lambda: browser.text("top-state") == "idle", "the machine idle")
        for size in ((1366, 768), (1920, 1080)):
            view(browser, size)
            for scroll in (0, 100000):
                browser.js(f"window.scrollTo(0, {scroll})")
                time.sleep(0.1)
                check(in_view(browser, "top-estop") and in_view(browser, "top-state"),
                      f"{size[0]}x{size[1]}, scrolled {scroll > 0}: emergency stop and state in view")
        view(browser, (1366, 768))
        check(browser.js("document.getElementById('job-listing').offsetParent === null && "
                         "document.getElementById('job-start').offsetParent === null"),
              "no program: no listing, no cycle start")
        check(browser.js("document.getElementById('job-hold').disabled && document.getElementById('job-stop').disabled"),
              "nothing runs: hold and stop off")
        # Held jogs: let go, tab hidden, network dropped.
        browser.click("jog-step4")
        held_jog(browser, "ArrowRight", 0, lambda: key(browser, "ArrowRight", False), "X+ held, key let go")
        check(abs(float(browser.text("dro-mX")) - act(browser)[0] / SCALE[0]) < 0.002,
              "the DRO's machine X is the card's")
        held_jog(browser, "ArrowUp", 1, lambda: browser.js(
            "Object.defineProperty(document, 'hidden', {configurable: true, get: () => true});"
            "document.dispatchEvent(new Event('visibilitychange'))"), "Y+ held, tab hidden")
        key(browser, "ArrowUp", False)
        browser.js("delete document.hidden")
        held_jog(browser, "PageUp", 2, lambda: browser.call(
            "Network.emulateNetworkConditions", offline=True, latency=0, downloadThroughput=-1,
            uploadThroughput=-1), "Z+ held, network dropped")
        browser.call("Network.emulateNetworkConditions", offline=False, latency=0,
                     downloadThroughput=-1, uploadThroughput=-1)
        key(browser, "PageUp", False)
        wait_for(lambda: browser.text("link") == "live", "the page's stream back")
        # Arrow keys in an input move the cursor, not the machine.
        before = act(browser)
        browser.js("document.getElementById('mdi-line').focus()")
        key(browser, "ArrowLeft")
        time.sleep(0.4)
        key(browser, "ArrowLeft", False)
        check(act(browser) == before, "an arrow key while typing jogs nothing")
        # A step jog: exactly one step.
        browser.js("document.activeElement.blur()")
        browser.click("jog-step2")
        x = act(browser)[0]
        browser.js("document.getElementById('jog-Xminus').dispatchEvent(new PointerEvent('pointerdown'))")
        wait_for(lambda: act(browser)[0] == x - SCALE[0], "X -1 mm: the card 800 pulses back")
        wait_for(lambda: browser.text("top-state") == "idle", "idle after the step")
        shot(browser, shots, "panel-idle-jog.png")
        # MDI: a line and its history; a bad line refused where it was typed.
        browser.js("document.getElementById('mdi-line').focus()")
        browser.call("Input.insertText", text="G0 X5 Y3")
        key(browser, "Enter")
        wait_for(lambda: act(browser)[:2] == [5 * SCALE[0], 3 * SCALE[1]], "MDI G0 X5 Y3 on the card")
        check(browser.text("mdi-history") == "G0 X5 Y3", "the line in the MDI history")
        browser.call("Input.insertText", text="G1 X")
        key(browser, "Enter")
        words, refused = wait_for(lambda: answer(browser, "shop-mdi-answer")[1] and answer(browser, "shop-mdi-answer"),
                                  "the bad MDI line refused")
        check(refused and words, f"refused under the MDI line: {words!r}")
        shot(browser, shots, "panel-mdi.png")
        # Touch-off: X reads 1.5 here; the machine position stays.
        browser.js("document.getElementById('touch-X').value = '1.5'")
        browser.click("touch-set-X")
        wait_for(lambda: browser.text("dro-wX") == "1.500", "work X reads 1.500")
        check(browser.text("dro-mX") == "5.000", "machine X still 5.000")
        # Esc: the emergency stop; everything off; released and reset.
        browser.js("document.activeElement.blur()")
        key(browser, "Escape")
        wait_for(lambda: browser.text("top-state") == "e-stop", "Esc: the emergency stop")
        check(browser.js("[...document.querySelectorAll('#shop button.op')].every((b) => b.disabled)"),
              "under the emergency stop the machine's controls are off")
        browser.click("top-release")
        wait_for(lambda: browser.text("top-state") == "idle", "released and reset: idle")
        # A program from the folder, run from line 5 after showing what that does.
        browser.js("document.getElementById('program-list').value = 'panel_part.ngc'")
        browser.click("program-open")
        wait_for(lambda: browser.js("document.getElementById('job-start').offsetParent !== null"),
                 "the program box with cycle start")
        wait_for(lambda: browser.text("job-state") == "waiting for cycle start", "the program waiting")
        browser.js("document.getElementById('from-line').value = '5'")
        browser.click("from-show")
        words = wait_for(lambda: browser.text("shop-from-answer").startswith("line 5:") and
                         browser.text("shop-from-answer"), "what running from line 5 does")
        check("safe height" in words, f"shown before it moves: {words[:60]!r}...")
        check(browser.js("document.getElementById('from-go').disabled") is False, "then it can be confirmed")
        browser.click("from-go")
        wait_for(lambda: browser.text("job-state") == "running" and
                 int(browser.js("(document.querySelector('#job-listing .now .n') || {}).textContent || 0")) >= 5,
                 "running from line 5")
        shot(browser, shots, "panel-run-from.png")
        browser.click("job-stop")
        wait_for(lambda: browser.text("top-state") == "stopped", "stopped")
        # Last, a held jog whose page is closed under it.
        browser.click("jog-step4")
        held_jog(browser, "ArrowLeft", 0, lambda: browser.js(
            "window.stop(); setTimeout(() => location.replace('about:blank'), 0), true"), "X- held, page closed")
    finally:
        close(browser, tool)
        shutil.rmtree(programs, ignore_errors=True)


def gcode_run(korva3, tests, shots):
    part = os.path.join(tests, "spindle_part.ngc")
    browser, tool, next_line = start(korva3, "gcode", part, "--panel", "--panel-keep")
    try:
        wait_for(lambda: browser.text("job-state") == "waiting for cycle start", "waiting for cycle start")
        browser.click("job-start")
        wait_for(lambda: browser.text("job-state") == "running" and
                 browser.js("cards[0].state.outputs") & 5 == 5, "running, spindle and flood on")
        time.sleep(1.5)
        shot(browser, shots, "panel-running.png")
        key(browser, " ")
        key(browser, " ", False)
        wait_for(lambda: browser.text("job-state") == "held", "Space: held")
        # The page's positions may trail the state by an update or two on a busy host.
        seen = [act(browser)[0]]

        def settled():
            time.sleep(0.3)
            seen.append(act(browser)[0])
            return seen[-1] == seen[-2]
        wait_for(settled, "held: the page's X settles")
        time.sleep(0.5)
        check(act(browser)[0] == seen[-1], "held: X stands")
        shot(browser, shots, "panel-held.png")
        browser.click("job-resume")
        wait_for(lambda: browser.text("job-state") == "running", "resumed")
        time.sleep(0.8)
        browser.click("job-stop")
        wait_for(lambda: browser.text("job-state").startswith("ended: stopped by the operator"), "stopped")
        wait_for(lambda: browser.js("cards[0].state.outputs") & 5 == 0, "spindle and flood off on the card")
        progress = browser.text("job-progress")
        check(not progress.startswith("100 %"), f"progress where it stopped: {progress!r}")
        shot(browser, shots, "panel-stopped.png")
        tool.send_signal(signal.SIGINT)
        check(tool.wait(30) == 4, "Ctrl-C: the run's exit code 4")
    finally:
        close(browser, tool)
    browser, tool, next_line = start(korva3, "gcode", part, "--panel", "--panel-keep", "--start")
    try:
        wait_for(lambda: browser.text("job-state") == "running" and
                 browser.js("cards[0].state.outputs") & 5 == 5, "running, spindle and flood on")
        time.sleep(1)
        browser.click("top-estop")
        wait_for(lambda: browser.text("job-state").startswith("ended: emergency stop"), "ended by the emergency stop")
        wait_for(lambda: browser.js("cards[0].state.outputs") & 5 == 0, "spindle and flood off on the card")
        next_line(r"^panel: kept open after the end \(exit code 3\)")
        check(browser.js("document.getElementById('job-start').disabled && document.getElementById('job-hold').disabled"),
              "after the end the program's controls are off")
        shot(browser, shots, "panel-estop.png")
        tool.send_signal(signal.SIGINT)
        check(tool.wait(30) == 3, "Ctrl-C: the run's exit code 3")
    finally:
        close(browser, tool)


def main():
    korva3, tests, shots = sys.argv[1:4]
    os.makedirs(shots, exist_ok=True)
    idle_machine(korva3, tests, shots)
    gcode_run(korva3, tests, shots)
    print("all passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
