#!/usr/bin/env python3
"""korva3 gcode as a person uses it: the CSV's rows against the program's moves, and the
plot as librsvg and Chromium draw it. Usage: gcode_cli_test.py PATH/TO/korva3"""
import math
import os
import re
import resource
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


def colour_pixels(png, box, colour):
    """Pixels near `colour` inside box (x, y, w, h), page units = pixels."""
    _, _, rows = read_png(png)
    x, y, w, h = (int(round(v)) for v in box)
    near = lambda p: all(abs(p[i] - colour[i]) <= 40 for i in range(3))
    return sum(1 for row in rows[y + 2:y + h - 2] for p in row[x + 2:x + w - 2] if near(p))


CUT, RAPID, FEED = (0x1F, 0x5F, 0xBF), (0xD0, 0x54, 0x2C), (0x2A, 0x9D, 0x4B)


class GcodePlot(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="korva3-gcode-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def test_a_program_of_thousands_of_moves_draws_in_librsvg_and_chromium(self):
        # 3000 short segments of a spiral, rapids between three passes, plunges.
        lines = ["G21 G90 G94 G17"]
        for p in range(3):
            lines += ["G0 Z2", "G0 X%d Y0" % (10 * p + 20), "G1 Z-1 F100"]
            for i in range(1, 1001):
                a, r = 0.02 * i, 10 * p + 20 - 0.005 * i
                lines.append("G1 X%.4f Y%.4f F1500" % (r * math.cos(a), r * math.sin(a)))
        ngc, svg = os.path.join(self.dir, "p.ngc"), os.path.join(self.dir, "p.svg")
        with open(ngc, "w") as f:
            f.write("\n".join(lines + ["G0 Z5", "M2"]) + "\n")
        subprocess.run([KORVA3, "gcode", ngc, "--plot", svg, "--quiet"], check=True,
                       stdout=subprocess.DEVNULL)
        text = open(svg).read()
        self.assertLess(len(text), 1 << 20)
        self.assertIn("X (mm)", text)
        self.assertRegex(text, r'class="rapid" [^>]*stroke-dasharray')
        box = lambda view: [float(v) for v in re.search(
            r'<clipPath id="clip-%s"><rect x="([\d.]+)" y="([\d.]+)" width="([\d.]+)" '
            r'height="([\d.]+)"' % view, text).groups()]
        # The speed panel: the frame below the last clip path.
        speed = [float(v) for v in re.findall(
            r'<rect x="([\d.]+)" y="([\d.]+)" width="([\d.]+)" height="([\d.]+)" '
            r'fill="#ffffff"', text)[-1]]
        size = [int(v) for v in re.search(r'<svg [^>]*width="(\d+)" height="(\d+)"', text).groups()]
        pngs = {}
        if shutil.which("rsvg-convert"):
            pngs["librsvg"] = os.path.join(self.dir, "rsvg.png")
            subprocess.run(["rsvg-convert", svg, "-o", pngs["librsvg"]], check=True)
        chromium = shutil.which("chromium") or shutil.which("chromium-browser")
        if chromium:
            pngs["chromium"] = os.path.join(self.dir, "chromium.png")
            subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu",
                            "--hide-scrollbars", "--window-size=%d,%d" % tuple(size),
                            "--screenshot=" + pngs["chromium"], "file://" + svg],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=120)
        if not pngs:
            self.skipTest("neither rsvg-convert nor chromium is installed")
        for viewer, png in pngs.items():
            with self.subTest(viewer):
                self.assertGreater(colour_pixels(png, box("xy"), CUT), 3000)  # the spirals
                rapid = colour_pixels(png, box("xy"), RAPID)
                self.assertGreater(rapid, 30)  # the rapids between the passes, dashed:
                self.assertLess(rapid, 400)    # fewer pixels than a solid line
                self.assertGreater(colour_pixels(png, box("xz"), RAPID), 30)  # side views
                self.assertGreater(colour_pixels(png, speed, FEED), 300)  # the feed line
                self.assertGreater(colour_pixels(png, speed, CUT), 300)   # the path speed


def surfacing(path, lines):
    """A 3D finishing raster of `lines` short G1 moves, as CAM writes them."""
    with open(path, "w") as f:
        f.write("G21 G90 G0 Z5\nG0 X0 Y0\nG1 Z0 F600\n")
        for n in range(lines):
            row, i = divmod(n, 500)
            x = (i if row % 2 == 0 else 499 - i) * 0.2
            f.write("G1 X%.3f Y%.1f Z%.4f F1500\n" % (x, row * 0.2, math.sin(x / 7) * math.cos(row / 45) - 1))
        f.write("G0 Z5\nM2\n")


class GcodeMemory(unittest.TestCase):
    """Programs of any length in bounded memory: a long program checked and run under an
    address-space limit that reading it whole would pass many times over."""

    LIMIT = 384 << 20  # the code and its threads' stacks, and a window of moves

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="korva3-gcode-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_limited(self, *args):
        limit = lambda: resource.setrlimit(resource.RLIMIT_AS, (self.LIMIT, self.LIMIT))
        return subprocess.run([KORVA3, "gcode", *args], capture_output=True, text=True,
                              preexec_fn=limit, timeout=600)

    def test_a_long_program_is_checked_and_run_within_a_memory_limit(self):
        for lines, args in ((1000000, ["--check"]), (200000, ["--quiet"])):
            with self.subTest(lines=lines, args=args):
                program = os.path.join(self.dir, "surface.ngc")
                surfacing(program, lines)  # 1,000,000 lines: 34 MB, 1.3 GB read whole
                p = self.run_limited(program, *args)
                self.assertEqual(p.returncode, 0, p.stderr[-2000:])
                if args == ["--check"]:
                    self.assertIn(f"{lines + 5} lines, no errors", p.stdout)
                else:
                    self.assertRegex(p.stdout, r"card 0: X \d+  Y \d+  Z 5000 ")


if __name__ == "__main__":
    KORVA3 = os.path.abspath(sys.argv.pop(1))
    unittest.main()
