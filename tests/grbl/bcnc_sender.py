#!/usr/bin/python3
"""bCNC's own sender (its Sender class and GRBL1 controller, no window) against a grbl
board at socket://127.0.0.1:PORT: streams PROGRAM, holds and resumes it, jogs, and
prints what bCNC read back as JSON. Run with Debian's python3 (bCNC's packages).
Usage: bcnc_sender.py PORT PROGRAM.ngc"""
import json
import sys
import time

BCNC = "/usr/share/bcnc/bCNC"
sys.path[:0] = [BCNC, BCNC + "/lib", BCNC + "/controllers", BCNC + "/plugins"]
import Utils  # noqa: E402  (sets up bCNC's settings and its _() for messages)
from CNC import CNC, WAIT  # noqa: E402
from Sender import Sender  # noqa: E402


class Headless(Sender):
    """The Sender without bCNC's window: the window's calls do nothing."""

    def disable(self):
        pass

    def enable(self):
        pass

    def setStatus(self, *args):
        pass


def wait_for(what, timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        if what():
            return True
        time.sleep(0.05)
    return False


def position():
    return [CNC.vars["mx"], CNC.vars["my"], CNC.vars["mz"]]


def main():
    port, program = sys.argv[1], sys.argv[2]
    Utils.loadConfiguration(systemOnly=True)  # bCNC's defaults, never the user's
    s = Headless()
    s.open("socket://127.0.0.1:" + port, 115200)
    seen = {"states": []}

    def state():
        st = CNC.vars["state"]
        if not seen["states"] or seen["states"][-1] != st:
            seen["states"].append(st)
        return st

    wait_for(lambda: state() == "Idle", 10)
    # A run as bCNC's Run button makes it: the program's lines, then a wait for Idle.
    s.initRun()
    s._runLines = sys.maxsize
    s._gcount = 0
    CNC.vars["running"] = True
    n = 1
    for line in CNC.compile(open(program).read().splitlines()):
        if line is not None:
            s.queue.put(line + "\n" if isinstance(line, str) else line)
            n += 1
    s._runLines = n
    s.queue.put((WAIT,))
    seen["ran"] = wait_for(lambda: state() == "Run", 10)
    time.sleep(0.4)
    s.feedHold()
    seen["held"] = wait_for(lambda: state().startswith("Hold:0"), 10)
    held_at = position()
    time.sleep(0.3)
    seen["still_while_held"] = position() == held_at
    s.resume()
    # bCNC's window ends the run once every line is answered; then the board is Idle.
    seen["answered"] = wait_for(lambda: s._gcount >= s._runLines, 60)
    s.runEnded()
    seen["ended"] = wait_for(lambda: state() == "Idle", 30)
    seen["end"] = position()
    s.mcontrol.jog("X1")  # bCNC's jog button: "$J=G91 X1 F100000"
    time.sleep(0.2)
    s.sendGCode("$J=G91 Y-2.5 F1200")
    wait_for(lambda: state() == "Jog", 5)
    seen["jogged"] = wait_for(lambda: state() == "Idle" and position()[1] != seen["end"][1], 10)
    time.sleep(0.5)  # the status after the jog
    seen["after_jog"] = position()
    seen["errors"] = CNC.vars.get("errline", "")
    s.close()
    print(json.dumps(seen))


if __name__ == "__main__":
    main()
