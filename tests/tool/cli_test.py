#!/usr/bin/env python3
"""Tests of the korva3 command as a person uses it: the demo's plot as librsvg and
Chromium draw it, Ctrl-C during a running job, the status line on a terminal only,
and korva3 check. Usage: cli_test.py PATH/TO/korva3"""
import os
import pty
import re
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

KORVA3 = None
PATH_BLUE = (0x1F, 0x5F, 0xBF)  # the first card's path colour


def read_png(path):
    """(width, height, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    at, idat, width = 8, b"", 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, (depth, colour)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), width * channels, [], bytearray(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = prev[i], prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def path_pixels(png, box):
    """Pixels of the path's colour inside box (x, y, w, h), page units = pixels."""
    _, _, rows = read_png(png)
    x, y, w, h = (int(round(v)) for v in box)
    near = lambda p: all(abs(p[i] - PATH_BLUE[i]) <= 40 for i in range(3))
    return sum(1 for row in rows[y + 2:y + h - 2] for p in row[x + 2:x + w - 2] if near(p))


class Korva3(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="korva3-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def job(self, text, name="t.job"):
        path = os.path.join(self.dir, name)
        with open(path, "w") as f:
            f.write("INITIAL\nREGISTRATION 0 0\nSET_VAR 0 10 10 10 400 0\n" + text)
        return path

    def test_the_demo_plot_draws_its_path_in_librsvg_and_chromium(self):
        subprocess.run([KORVA3, "demo", "--quiet"], cwd=self.dir, check=True,
                       stdout=subprocess.DEVNULL)
        svg = os.path.join(self.dir, "demo.svg")
        text = open(svg).read()
        box = [float(v) for v in re.search(
            r'<clipPath id="clip-xy"><rect x="([\d.]+)" y="([\d.]+)" width="([\d.]+)" '
            r'height="([\d.]+)"', text).groups()]
        size = [int(v) for v in re.search(r'<svg [^>]*width="(\d+)" height="(\d+)"', text).groups()]
        counts = {}
        if shutil.which("rsvg-convert"):
            out = os.path.join(self.dir, "rsvg.png")
            subprocess.run(["rsvg-convert", svg, "-o", out], check=True)
            counts["librsvg"] = path_pixels(out, box)
        chromium = shutil.which("chromium") or shutil.which("chromium-browser")
        if chromium:
            out = os.path.join(self.dir, "chromium.png")
            subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu",
                            "--hide-scrollbars", "--window-size=%d,%d" % tuple(size),
                            "--screenshot=" + out, "file://" + svg],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=120)
            counts["chromium"] = path_pixels(out, box)
        if not counts:
            self.skipTest("neither rsvg-convert nor chromium is installed")
        # The demo's path is about 3000 pixels long and 2 wide: thousands of its pixels.
        for viewer, n in counts.items():
            self.assertGreater(n, 2000, viewer)
        if len(counts) == 2:
            a, b = counts.values()
            self.assertLess(abs(a - b), 0.2 * max(a, b), counts)

    def wait_until_running(self, p):
        # Until the tool has SIGINT and SIGTERM blocked in its main thread (it leaves them
        # to its handler) and has spent 0.2 s of processor time, long after it registered
        # its card: a wait that holds however loaded the machine is.
        wanted = (1 << (signal.SIGINT - 1)) | (1 << (signal.SIGTERM - 1))
        tick = os.sysconf("SC_CLK_TCK")
        for _ in range(6000):
            try:
                with open("/proc/%d/status" % p.pid) as f:
                    blocked = [l for l in f if l.startswith("SigBlk:")]
                with open("/proc/%d/stat" % p.pid) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except FileNotFoundError:
                break
            cpu = (int(fields[11]) + int(fields[12])) / tick  # utime + stime
            if blocked and int(blocked[0].split()[1], 16) & wanted == wanted and cpu >= 0.2:
                return
            time.sleep(0.01)
        self.fail("the tool never got under way")

    def test_ctrl_c_stops_the_cards_and_exits_130(self):
        job = self.job("INTP_LINE 0 100000000 0 2\n")  # 50 million slices: minutes
        program = os.path.join(self.dir, "long.ngc")  # 50 million pulses at F1: minutes
        with open(program, "w") as f:
            f.write("G21 G91\nG1 X500000 F1\nM2\n")
        runs = [["run", job], ["gcode", program, "--scale", "100"]]
        for command, sig in [(c, s) for c in runs for s in (signal.SIGINT, signal.SIGTERM)]:
            p = subprocess.Popen([KORVA3] + command + ["--limit", "1000000000"],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            self.wait_until_running(p)
            p.send_signal(sig)
            out, err = p.communicate(timeout=30)
            self.assertEqual(p.returncode, 130, err)
            # The card the job or program registered got the emergency stop.
            self.assertIn("korva3: interrupted: emergency stop on card 0\n", err, command)

    def test_a_status_line_on_a_terminal_only(self):
        job = self.job("INTP_LINE 0 3000000 0 2\n")  # 1.5 million slices: a second or more
        p = subprocess.run([KORVA3, "run", job, "--quiet", "--limit", "10000000"],
                           capture_output=True, text=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertNotIn("path sent", p.stderr)
        self.assertNotIn("\r", p.stderr)
        # The same job with standard error on a terminal.
        parent, child = pty.openpty()
        q = subprocess.Popen([KORVA3, "run", job, "--quiet", "--limit", "10000000"], stdout=subprocess.DEVNULL,
                             stderr=child)
        os.close(child)
        seen = b""
        while True:
            try:
                chunk = os.read(parent, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        q.wait()
        os.close(parent)
        self.assertEqual(q.returncode, 0)
        self.assertRegex(seen.decode(), r"korva3: line 4 +\d+% of the path sent  t = ")

    def test_check_warns_without_running(self):
        bad = self.job("INTP_ARC 0 10000 0 100 1 50\n")
        p = subprocess.run([KORVA3, "check", bad], capture_output=True, text=True)
        self.assertEqual(p.returncode, 1)
        self.assertIn("t.job:4: warning: INTP_ARC: the radius is shorter than half the chord",
                      p.stderr)
        self.assertNotIn("card 0:", p.stdout)  # nothing ran
        good = self.job("INTP_LINE 0 100 0 10\nwait 0\n", "good.job")
        p = subprocess.run([KORVA3, "check", good], capture_output=True, text=True)
        self.assertEqual((p.returncode, p.stderr), (0, ""))
        p = subprocess.run([KORVA3, "run", bad, "--strict"], capture_output=True, text=True)
        self.assertEqual(p.returncode, 1)
        self.assertIn("nothing was run", p.stderr)

    def test_a_gcode_program_of_any_size_is_read_in_bounded_memory(self):
        # 64 MiB and a byte of nothing (sparse: no disk written), from the file and from
        # standard input: read as it comes, in a bounded buffer, refused at its first
        # line, never held whole.
        program = os.path.join(self.dir, "huge.ngc")
        with open(program, "wb") as f:
            f.truncate((64 << 20) + 1)
        for from_stdin in (False, True):
            with open(program, "rb") as f:
                p = subprocess.run([KORVA3, "gcode", "-" if from_stdin else program, "--check"],
                                   stdin=f, capture_output=True, text=True,
                                   preexec_fn=lambda: resource.setrlimit(
                                       resource.RLIMIT_AS, (512 << 20, 512 << 20)))
            self.assertEqual(p.returncode, 2, p.stderr)
            self.assertIn(":1: more than 1048576 characters on one line", p.stderr)


if __name__ == "__main__":
    KORVA3 = os.path.abspath(sys.argv.pop(1))
    unittest.main()
