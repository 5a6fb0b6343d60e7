#!/usr/bin/env python3
"""korva3's reader against LinuxCNC's own, move by move: each program goes through
`rs274 -g` (LinuxCNC's standalone interpreter, Debian's linuxcnc-uspace) and through
`korva3 gcode --check --moves`; where both accept it, the motions must be the same, in
the same order (moves of no length left out on both sides): straight or arc, end points
in machine mm within a pulse of the test's machine (1/400 mm; rs274 prints 4 decimals),
feeds within 0.1 %, an arc's direction and whole turns alike.
The programs: LinuxCNC's shipped samples (/usr/share/linuxcnc/ncfiles) and this folder's
lcnc/*.ngc (each must be read by both). Prints the counts. Skipped (code 77) where rs274
is not installed.

Deliberate differences (not compared, or read alike here):
- rs274 hands on program coordinates and the offsets apart (SET_G5X_OFFSET,
  SET_G92_OFFSET, USE_TOOL_LENGTH_OFFSET): they are added back to compare machine mm.
- Moves of no length (a cycle's approach where the machine stands, "G0 G80" alone) are
  listed by rs274 and left out here: both sides drop them.
- rs274 sets a line's F before its G20/G21 ("G20 F10"): the feed is read in the line's
  units where N words mark the lines (lcnc/feeds.ngc).
- Alone, rs274 keeps #5161 .. #5390 in inches and M61 leaves its #<_current_tool>: the
  feature programs read neither (the unit tests hold them).
- korva3 refuses what LinuxCNC reads as 0 (an unset parameter) and an R arc more than
  0.005 mm short of its chord; those programs are skipped, not compared.
Usage: rs274_reference_test.py KORVA3 LCNC_DIR [-v]"""
import glob
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

SAMPLES = "/usr/share/linuxcnc/ncfiles"
PULSE_MM = 1 / 400  # the machine file's scale, lcnc/machine.toml
FEED_REL = 0.001

# Deliberate differences: programs both accept whose moves differ by design.
DIFFERENT = {
    # name: why
}

CANON = re.compile(r"^\s*\d+\s+(N\S*)\s+([A-Z_0-9]+)\((.*)\)\s*$")


def rs274_moves(program, home, subs):
    """(ok, moves, error): moves as (kind, (x, y, z) mm, feed mm/min or None, turns).
    Block delete on (-b), as korva3 reads; every tool of length 0 (-t), as the machine
    file has them; sub files found in `subs` (-i), as the machine file's subroutine_path
    says (both look in the program's folder too)."""
    table = os.path.join(home, "tools.tbl")
    if not os.path.exists(table):
        with open(table, "w") as f:
            f.writelines("T%d P%d Z0 D0 ;\n" % (t, t) for t in range(1, 21))
    ini = os.path.join(home, "subs.ini")
    if not os.path.exists(ini):
        with open(ini, "w") as f:
            f.write("[RS274NGC]\nSUBROUTINE_PATH = %s\n" % subs)
    try:
        run = subprocess.run(["rs274", "-g", "-b", "-t", table, "-i", ini,
                              os.path.basename(program)],
                             cwd=os.path.dirname(program), capture_output=True, text=True,
                             timeout=60, env=dict(os.environ, HOME=home), stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        return False, [], "timeout"
    if run.returncode != 0:
        last = (run.stderr.strip().splitlines() or ["exit %d" % run.returncode])[-1]
        return False, [], last
    unit, plane, feed, feed_block = 1.0, "XY", 0.0, None
    # rs274 hands on program coordinates; the canon adds the offsets it was given
    g5x, g92, tool = [0.0] * 3, [0.0] * 3, [0.0] * 3
    machine = lambda p: tuple(p[a] + g5x[a] + g92[a] + tool[a] for a in range(3))
    moves = []
    for line in run.stdout.splitlines():
        m = CANON.match(line)
        if not m:
            continue
        block, call, args = m.group(1), m.group(2), [a.strip() for a in m.group(3).split(",")]
        if call == "USE_LENGTH_UNITS":
            unit = 25.4 if "INCHES" in args[0] else 1.0
            if block == feed_block:  # "G20 F10": rs274 sets the feed first, in the line's units
                feed = feed_raw * unit
        elif call == "SET_G5X_OFFSET":
            g5x = [float(a) * unit for a in args[1:4]]
        elif call == "SET_G92_OFFSET":
            g92 = [float(a) * unit for a in args[0:3]]
        elif call == "USE_TOOL_LENGTH_OFFSET":
            tool = [float(a) * unit for a in args[0].split()[:3]]
        elif call == "SELECT_PLANE":
            plane = args[0][-2:]
        elif call == "SET_FEED_RATE":
            feed_raw = float(args[0])
            feed = feed_raw * unit  # in the units in force when it was set
            feed_block = block if block != "N....." else None
        elif call in ("STRAIGHT_TRAVERSE", "STRAIGHT_FEED"):
            end = machine([float(a) * unit for a in args[:3]])
            moves.append(("rapid" if call == "STRAIGHT_TRAVERSE" else "feed", end,
                          None if call == "STRAIGHT_TRAVERSE" else feed, 0))
        elif call == "ARC_FEED":
            first, second, axis = (float(args[i]) * unit for i in (0, 1, 5))
            end = machine({"XY": (first, second, axis), "XZ": (second, axis, first),
                           "YZ": (axis, first, second)}[plane])
            moves.append(("arc", end, feed, int(args[4])))
    return True, moves, ""


def korva3_moves(korva3, program, machine):
    run = subprocess.run([korva3, "gcode", program, "--machine", machine, "--check", "--moves"],
                         capture_output=True, text=True, timeout=120, stdin=subprocess.DEVNULL)
    if run.returncode != 0:
        return False, [], (run.stderr.strip().splitlines() or ["exit %d" % run.returncode])[0]
    moves = []
    for line in run.stdout.splitlines():
        f = line.split("\t")
        if f[1] == "dwell":
            continue
        end = tuple(float(v) for v in f[2:5])
        turns = 0
        if f[1] == "arc":
            turn = float(f[9])
            if (int(f[10]), int(f[11])) not in ((0, 1), (2, 0), (1, 2)):
                turn = -turn  # rs274's planes: X Y, Z X, Y Z
            turns = int(math.copysign(math.ceil(abs(turn) / (2 * math.pi) - 1e-9), turn))
        moves.append((f[1], end, None if f[1] == "rapid" else float(f[5]), turns))
    return True, moves, ""


def without_standing(moves):
    """The moves that go somewhere (rs274 lists a cycle's moves of no length too)."""
    at, out = (0.0, 0.0, 0.0), []
    for m in moves:
        if m[0] != "arc" and all(abs(a - b) < 1e-6 for a, b in zip(m[1], at)):
            continue
        out.append(m)
        at = m[1]
    return out


def compare(ours, theirs):
    """None when alike, else where they part."""
    ours, theirs = without_standing(ours), without_standing(theirs)
    for i, (a, b) in enumerate(zip(ours, theirs)):
        if a[0] != b[0]:
            return "motion %d: %s here, %s in rs274 (to %s)" % (i + 1, a[0], b[0], b[1])
        off = max(abs(p - q) for p, q in zip(a[1], b[1]))
        if off > PULSE_MM:
            return "motion %d: ends at %s here, %s in rs274 (%.4f mm apart)" % (
                i + 1, a[1], b[1], off)
        if a[2] is not None and abs(a[2] - b[2]) > FEED_REL * b[2]:
            return "motion %d: feed %.3f here, %.3f mm/min in rs274" % (i + 1, a[2], b[2])
        if a[3] != b[3]:  # (turns of the same sign: in the plane's axes as rs274 has them)
            return "motion %d: arc turns %d here, %d in rs274" % (i + 1, a[3], b[3])
    if len(ours) != len(theirs):
        return "%d motions here, %d in rs274" % (len(ours), len(theirs))
    return None


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    korva3, lcnc = sys.argv[1], sys.argv[2]
    verbose = "-v" in sys.argv[3:]
    if not shutil.which("rs274"):
        print("skipped: rs274 (LinuxCNC's interpreter, Debian's linuxcnc-uspace) is not installed")
        return 77
    machine = os.path.join(lcnc, "machine.toml")
    programs = sorted(glob.glob(os.path.join(SAMPLES, "*.ngc"))) + \
        sorted(glob.glob(os.path.join(lcnc, "*.ngc")))
    ours_dir = os.path.abspath(lcnc)
    counts = dict(compared=0, agreeing=0, skipped=0, motions=0)
    failures = []
    with tempfile.TemporaryDirectory() as home:
        for program in programs:
            name = os.path.basename(program)
            mine = os.path.dirname(os.path.abspath(program)) == ours_dir
            ok_k, ours, why_k = korva3_moves(korva3, program, machine)
            ok_r, theirs, why_r = rs274_moves(program, home, os.path.join(ours_dir, "subs"))
            if not (ok_k and ok_r):
                counts["skipped"] += 1
                if mine:  # the feature programs must be read by both
                    failures.append("%s: %s" % (name, why_k if not ok_k else "rs274: " + why_r))
                elif verbose:
                    print("skipped %s: %s" % (name, why_k if not ok_k else "rs274: " + why_r))
                continue
            counts["compared"] += 1
            apart = compare(ours, theirs)
            if apart is None:
                counts["agreeing"] += 1
                counts["motions"] += len(without_standing(theirs))
                if name in DIFFERENT:
                    failures.append("%s: agrees now; take it off the differences" % name)
            elif name in DIFFERENT:
                print("differs as expected: %s (%s): %s" % (name, DIFFERENT[name], apart))
            else:
                failures.append("%s: %s" % (name, apart))
    print("programs compared: %(compared)d, agreeing: %(agreeing)d, skipped (refused by "
          "either): %(skipped)d; motions alike: %(motions)d" % counts)
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
