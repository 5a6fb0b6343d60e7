#!/usr/bin/env python3
"""The parametric example, examples/gcode/bolts.ngc, against an independent computation
of its bolt circle: on the virtual card each hole is drilled to its depth where the
circle puts it (the CSV's rows at the bottom), and the card ends over the last hole.
Usage: bolts_test.py PATH/TO/korva3 PATH/TO/examples/gcode"""
import csv
import math
import os
import re
import subprocess
import sys
import tempfile

HOLES, RADIUS, FIRST, DEPTH, SAFE = 7, 22.5, 15.0, 6.2, 5.0  # as the program's first lines
SCALE = (400, 400, 800)  # machine.toml's pulses per mm


def pulses(mm, axis):
    return int(math.floor(mm * SCALE[axis] + 0.5))


def main():
    korva3, examples = sys.argv[1], sys.argv[2]
    holes = []
    for n in range(HOLES):
        a = math.radians(FIRST + n * 360.0 / HOLES)
        holes.append((pulses(RADIUS * math.cos(a), 0), pulses(RADIUS * math.sin(a), 1)))
    bottom = pulses(-DEPTH, 2)
    with tempfile.TemporaryDirectory(prefix="korva3-bolts-") as tmp:
        table = os.path.join(tmp, "bolts.csv")
        run = subprocess.run([korva3, "gcode", os.path.join(examples, "bolts.ngc"), "--machine",
                              os.path.join(examples, "machine.toml"), "--quiet", "--csv", table],
                             capture_output=True, text=True, timeout=600)
        if run.returncode != 0:
            sys.exit("bolts.ngc did not run:\n" + run.stdout + run.stderr)
        with open(table, newline="") as f:
            rows = [r for r in csv.DictReader(f)]
    at_bottom = sorted({(int(r["x"]), int(r["y"])) for r in rows if int(r["z"]) == bottom})
    deepest = min(int(r["z"]) for r in rows)
    end = re.search(r"card 0: X (-?\d+)  Y (-?\d+)  Z (-?\d+)", run.stdout)
    expected_end = (holes[-1][0], holes[-1][1], pulses(SAFE, 2))
    faults = []
    if deepest != bottom:
        faults.append("the deepest point is Z %d pulses, the holes' bottom %d" % (deepest, bottom))
    if at_bottom != sorted(holes):
        faults.append("holes drilled at %s, the circle's are %s" % (at_bottom, sorted(holes)))
    if not end or tuple(int(v) for v in end.groups()) != expected_end:
        faults.append("the card ended at %s, the last hole is at %s" %
                      (end.groups() if end else run.stdout, expected_end))
    if faults:
        sys.exit("\n".join(faults))
    print("bolts.ngc: %d holes at their places, %d deep, ended at %s" %
          (len(holes), -bottom, expected_end))


if __name__ == "__main__":
    main()
