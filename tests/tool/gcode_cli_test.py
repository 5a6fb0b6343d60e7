#!/usr/bin/env python3
"""korva3 gcode as a person uses it: the CSV's rows against the program's moves, and the
plot as librsvg and Chromium draw it. Usage: gcode_cli_test.py PATH/TO/korva3"""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cli_test import read_png  # noqa: E402

KORVA3 = None
SCALE = 1000  # pulses per mm, the default
TOLERANCE = 0.01 * SCALE  # pulses: the default path tolerance


def polyline_program(points, feed):
    """A program of G1 moves through points (mm); its first move is on line 2."""
    lines = ["G21 G90 G94 G17 F%d" % feed]
    lines += ["G1 X%.4f Y%.4f" % p for p in points]
    return "\n".join(lines + ["M2"]) + "\n", {i + 2: i for i in range(len(points))}


def to_segment(p, a, b):
    """Distance of p from the segment a-b (pulses)."""
    ux, uy = b[0] - a[0], b[1] - a[1]
    n = ux * ux + uy * uy
    t = 0 if n == 0 else max(0.0, min(1.0, ((p[0] - a[0]) * ux + (p[1] - a[1]) * uy) / n))
    return math.hypot(p[0] - a[0] - t * ux, p[1] - a[1] - t * uy)


class GcodeCsv(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="korva3-gcode-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_csv(self, text):
        ngc, csv = os.path.join(self.dir, "p.ngc"), os.path.join(self.dir, "p.csv")
        with open(ngc, "w") as f:
            f.write(text)
        subprocess.run([KORVA3, "gcode", ngc, "--csv", csv, "--quiet"], check=True,
                       stdout=subprocess.DEVNULL)
        rows = open(csv).read().split("\n")[1:]
        return [r.split(",") for r in rows if r]

    def test_each_row_lies_on_the_move_its_line_names(self):
        # Many short moves at the axes' top speed (100 pulses a slice): a row that named
        # the move before it would lie up to a slice past that move's end. A row in the
        # blend that rounds a corner belongs to the move it leads into, and lies within
        # the tolerance of the two moves' segments.
        straight = [(0.5 * (i + 1), 0) for i in range(80)]
        curve = [(40 + 0.5 * (i + 1), 3 * (1 - math.cos(0.02 * (i + 1)))) for i in range(80)]
        for name, points in (("collinear", straight), ("gently curving", curve)):
            with self.subTest(name):
                text, index = polyline_program(points, 6000)
                rows = self.run_csv(text)
                ends = [(0, 0)] + [(round(x * SCALE), round(y * SCALE)) for x, y in points]
                self.assertGreater(len(rows), 100)
                for row in rows:
                    self.assertEqual(row[1], "0", row)  # the card column
                    line, p = int(row[2]), (int(row[3]), int(row[4]))
                    self.assertTrue(line in index, row)  # never 0, never a line of no motion
                    i = index[line] + 1  # move i ends at ends[i]
                    near = min(to_segment(p, ends[i - 1], ends[i]),
                               to_segment(p, ends[max(0, i - 2)], ends[i - 1]))
                    self.assertLessEqual(near, TOLERANCE + 1, row)
                    if name == "collinear":  # no blends: on its own move
                        self.assertLessEqual(to_segment(p, ends[i - 1], ends[i]), 1, row)


if __name__ == "__main__":
    KORVA3 = os.path.abspath(sys.argv.pop(1))
    unittest.main()
