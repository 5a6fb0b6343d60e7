#!/usr/bin/env python3
"""korva3 serve --grbl as a grbl 1.1 sender sees it over TCP: a program streamed by
character counting ends where korva3 gcode ends it, '?' answers quickly while it
streams, a line in error is answered and not run, feed hold and resume, a jog and its
cancel, soft reset, a sender that goes; and bCNC's own sender streaming, holding,
resuming and jogging, where Debian's bCNC is installed; cncjs doing the same through a
pseudo-terminal, where scripts/cncjs.sh installed it.
Usage: grbl_protocol_test.py PATH/TO/korva3 [GrblProtocol | BcncSender | CncjsSender]"""
import json
import os
import socket
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from grbl_client import WELCOME, Sender, Server  # noqa: E402

KORVA3 = None
PROGRAM = """G21 G90 G17 G94
G0 X2 Y2
G1 Z-0.5 F600
G1 X30 F3000
G2 X40 Y12 I0 J10
G1 Y30
G3 X30 Y40 I-10 J0
G1 X2
G91 G1 Y-10
G1 X5 Y-5
G90 G0 Z3
G0 X10.123 Y7.456
"""


def gcode_end(program):
    """Where korva3 gcode leaves card 0 after `program`, mm."""
    tmp = tempfile.mkdtemp(prefix="korva3-grbl-")
    try:
        ngc = os.path.join(tmp, "p.ngc")
        with open(ngc, "w") as out:
            out.write(program)
        text = subprocess.run([KORVA3, "gcode", ngc, "--quiet"], check=True,
                              capture_output=True, text=True).stdout
    finally:
        shutil.rmtree(tmp)
    pulses = re.search(r"card 0: X (-?\d+)  Y (-?\d+)  Z (-?\d+)", text).groups()
    return [int(v) / 1000 for v in pulses]


class GrblProtocol(unittest.TestCase):
    def setUp(self):
        self.server = Server(KORVA3)
        self.s = Sender(self.server.port)
        self.assertEqual(self.s.answer(), WELCOME)

    def tearDown(self):
        self.s.close()
        self.assertEqual(self.server.stop(), 130)  # SIGTERM: an emergency stop, 130

    def test_streamed_program_ends_where_korva3_gcode_ends_it(self):
        latencies = []

        def ask():  # '?' while streaming: the answer within 50 ms
            t = time.monotonic()
            self.s.sock.sendall(b"?")
            arrived, _ = self.s.reports.get(timeout=5)
            latencies.append(arrived - t)

        lines = [l for l in PROGRAM.splitlines() if l]
        answers = self.s.stream(lines, during=ask)
        self.assertEqual(answers, ["ok"] * len(lines))
        while len(latencies) < 50:
            ask()
            time.sleep(0.01)
        _, f = self.s.wait_state({"Idle"})
        # Within 50 ms, nine times in ten even on a loaded host; never stuck behind motion.
        latencies.sort()
        self.assertLess(latencies[len(latencies) * 9 // 10], 0.05, latencies)
        self.assertLess(latencies[-1], 0.5, latencies)
        self.assertEqual(f["MPos"], gcode_end(PROGRAM))

    def test_a_pseudo_terminal_leaves_no_symlink_behind(self):
        tmp = tempfile.mkdtemp(prefix="korva3-pty-")
        link = os.path.join(tmp, "grbl")
        board = subprocess.Popen([KORVA3, "serve", "--grbl", "pty:" + link],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            self.assertIn("grbl 1.1 on pty:" + link, board.stdout.readline())
            self.assertTrue(os.path.islink(link))
            board.terminate()  # as Ctrl-C: an emergency stop, then the exit
            self.assertEqual(board.wait(10), 130)
            self.assertFalse(os.path.lexists(link))
        finally:
            if board.poll() is None:
                board.kill()
            board.stdout.close()
            shutil.rmtree(tmp)

    def test_line_in_error_answered_and_not_run(self):
        for line, code in [("G1 X5", "error:22"), ("G1 X5 G0 Y1", "error:21"),
                           ("X" + "1" * 90, "error:11"), ("$Q", "error:3"),
                           ("$J=X1", "error:22"), ("$J=G1 X1 F100", "error:16")]:
            self.assertEqual(self.s.line(line)[-1], code, line)
        self.assertEqual(self.s.line("G4 P0.01"), ["ok"])  # and the next line runs
        _, f = self.s.wait_state({"Idle"})
        self.assertEqual(f["MPos"], [0, 0, 0])

    def test_hold_and_resume(self):
        self.s.line("G1 X60 F3000")
        self.s.wait_state({"Run"})
        self.s.realtime(ord("!"))
        self.s.wait_state({"Hold:0"}, 5)
        x = self.s.status()[1]["MPos"][0]
        time.sleep(0.2)
        self.assertEqual(self.s.status()[1]["MPos"][0], x)
        self.assertLess(x, 60)
        self.s.realtime(ord("~"))
        self.assertEqual(self.s.wait_state({"Idle"})[1]["MPos"], [60, 0, 0])

    def test_jog_then_cancel_keeps_the_modal_state(self):
        self.s.line("G91 G20")
        self.assertEqual(self.s.line("$J=G21 G91 X100 F3000"), ["ok"])
        self.s.wait_state({"Jog"})
        time.sleep(0.3)
        self.s.realtime(0x85)
        _, f = self.s.wait_state({"Idle"}, 2)
        self.assertTrue(5 < f["MPos"][0] < 100, f)
        self.assertIn("G91 G94", self.s.line("$G")[0].replace("G20 ", ""))
        self.assertIn(" G20 ", self.s.line("$G")[0])

    def test_soft_reset_while_moving_alarms_and_keeps_the_position(self):
        self.s.line("G1 X80 F3000")
        self.s.wait_state({"Run"})
        self.s.realtime(0x18)
        self.assertEqual(self.s.until(r"^Grbl ")[-2:], ["ALARM:3", WELCOME])
        self.assertEqual(self.s.line("G0 X0")[-1], "error:9")
        state, f = self.s.status()
        self.assertEqual(state, "Alarm")
        self.assertEqual(self.s.line("$X")[-1], "ok")
        _, f = self.s.wait_state({"Idle"})
        self.assertTrue(0 < f["MPos"][0] < 80, f)
        time.sleep(0.2)
        self.assertEqual(self.s.status()[1]["MPos"], f["MPos"])

    def test_sender_that_goes_leaves_the_machine_stopped(self):
        self.s.line("M3")
        self.s.line("G1 X80 F3000")
        self.s.wait_state({"Run"})
        self.s.close()
        time.sleep(0.3)
        self.s = Sender(self.server.port)
        self.assertEqual(self.s.answer(), WELCOME)
        _, f = self.s.wait_state({"Idle"}, 5)
        self.assertLess(f["MPos"][0], 80)
        self.assertIn(" M5 ", self.s.line("$G")[0])

    def test_settings_and_reports(self):
        settings = dict(l.split("=") for l in self.s.line("$$")[:-1])
        self.assertEqual((settings["$100"], settings["$110"], settings["$120"]), ("1000", "6000", "500"))
        self.assertEqual(self.s.line("$10=2"), ["ok"])
        state, f = self.s.status()
        self.assertIn("WPos", f)
        self.assertIn("Bf", f)
        self.assertEqual(self.s.line("$#")[0], "[G54:0.000,0.000,0.000]")


BCNC_PYTHON = "/usr/bin/python3"  # Debian's, with bCNC's packages


@unittest.skipUnless(os.path.isdir("/usr/share/bcnc/bCNC") and os.path.exists(BCNC_PYTHON),
                     "bCNC is not installed (Debian's bcnc and python3-serial, "
                     "optional in scripts/deps.sh)")
class BcncSender(unittest.TestCase):
    def test_bcnc_streams_holds_resumes_and_jogs(self):
        server = Server(KORVA3)
        tmp = tempfile.mkdtemp(prefix="korva3-bcnc-")
        try:
            ngc = os.path.join(tmp, "p.ngc")
            with open(ngc, "w") as out:
                out.write(PROGRAM)
            done = subprocess.run([BCNC_PYTHON, os.path.join(os.path.dirname(__file__), "bcnc_sender.py"),
                                   str(server.port), ngc], capture_output=True, text=True,
                                  timeout=180, env=dict(os.environ, HOME=tmp))
        finally:
            server.stop()
            shutil.rmtree(tmp)
        self.assertEqual(done.returncode, 0, done.stderr)
        seen = json.loads(done.stdout.strip().splitlines()[-1])
        for step in ("ran", "held", "still_while_held", "answered", "ended", "jogged"):
            self.assertTrue(seen[step], (step, seen))
        end = gcode_end(PROGRAM)
        self.assertEqual(seen["end"], end)
        self.assertEqual(seen["after_jog"], [end[0] + 1, end[1] - 2.5, end[2]])
        self.assertEqual(seen["errors"], "")


CNCJS = os.path.join(os.environ.get("KORVA_CNCJS_DIR", os.path.expanduser("~/.cache/korva3/cncjs")),
                     "node_modules")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@unittest.skipUnless(os.path.exists(os.path.join(CNCJS, "cncjs", "package.json")) and shutil.which("node"),
                     "cncjs is not installed (scripts/cncjs.sh, from npm) or there is no node")
class CncjsSender(unittest.TestCase):
    def test_cncjs_streams_holds_resumes_and_jogs_over_a_serial_port(self):
        tmp = tempfile.mkdtemp(prefix="korva3-cncjs-")
        serial, ngc, rc = (os.path.join(tmp, n) for n in ("grbl", "p.ngc", "cncrc"))
        with open(ngc, "w") as out:
            out.write(PROGRAM)
        with open(rc, "w") as out:
            json.dump({"secret": "korva3-test"}, out)
        board = subprocess.Popen([KORVA3, "serve", "--grbl", "pty:" + serial],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        board.stdout.readline()
        port = free_port()
        cncjs = subprocess.Popen([os.path.join(CNCJS, ".bin", "cncjs"), "--host", "127.0.0.1",
                                  "--port", str(port), "--config", rc],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                 env=dict(os.environ, HOME=tmp))
        try:
            while "Starting the server" not in cncjs.stdout.readline():
                self.assertIsNone(cncjs.poll(), "cncjs did not start")
            done = subprocess.run(["node", os.path.join(os.path.dirname(__file__), "cncjs_sender.js"),
                                   str(port), "korva3-test", serial, ngc],
                                  capture_output=True, text=True, timeout=180,
                                  env=dict(os.environ, NODE_PATH=CNCJS))
        finally:
            cncjs.terminate()
            cncjs.wait(10)
            cncjs.stdout.close()
            board.terminate()
            board.wait(10)
            board.stdout.close()
            shutil.rmtree(tmp)
        self.assertEqual(done.returncode, 0, done.stderr)
        seen = json.loads(done.stdout.strip().splitlines()[-1])
        for step in ("opened", "ran", "held", "still_while_held", "ended", "jogged", "cancelled"):
            self.assertTrue(seen[step], (step, seen))
        end = gcode_end(PROGRAM)
        self.assertEqual(seen["end"], end)
        self.assertEqual(seen["after_jog"], [end[0], end[1] - 2.5, end[2]])
        self.assertTrue(end[0] < seen["after_cancel"][0] < end[0] + 100, seen)
        self.assertEqual(seen["errors"], [])


if __name__ == "__main__":
    KORVA3 = sys.argv.pop(1)
    unittest.main()
