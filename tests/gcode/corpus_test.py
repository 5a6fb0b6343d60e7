#!/usr/bin/env python3
"""Real G-code that others wrote (LinuxCNC's sample programs from Debian, the test programs
of npm's G-code readers) through `korva3 gcode --check`: each file is accepted, or refused
with FILE:LINE and the reason this table expects; whatever the file, the tool ends with an
answer (no crash, no hang), a 3D printer's file gets the printer hint, cutter compensation
and axes the card lacks are named.
Usage: corpus_test.py KORVA3 CORPUS_SCRIPT CORPUS_DIR MACHINE [--table]
(--table prints the results as the Markdown rows docs/gcode.md shows)"""
import re
import sys

import corpus

# name: None (accepted) or (line of the first error, a pattern of its reason). LinuxCNC's
# samples from linuxcnc-uspace, then the npm packages' test programs. The machine is
# examples/gcode/machine.toml (tool 1 alone in its [tools] table).
COMPENSATION = r"^G4[12] is not supported \(cutter compensation: have the CAM system"
# A file of subroutines that calls none (a remap's, one called from another file) runs
# nothing: accepted with no moves, its subs' lines unread.
SUBS_ONLY = "subs only"
EXPECTED = {
    "3D_Chips.ngc": None,
    "3dtest.ngc": None,
    "arcspiral.ngc": None,
    "axis-lathe.ngc": None,
    "axis.ngc": None,
    "b-index.ngc": (4, r"^'B' words are not supported \(the card has X, Y and Z\)"),
    "cds.ngc": None,
    "comp-g1.ngc": (27, COMPENSATION),
    "comp.ngc": (12, COMPENSATION),
    "comp311.ngc": (26, COMPENSATION),
    "comp311_2.ngc": (25, COMPENSATION),
    "cone.ngc": (6, r"^'B' words are not supported"),
    "daisy.ngc": (25, r"^'A' words are not supported"),
    "factorial.ngc": SUBS_ONLY,
    "flowsnake.ngc": None,
    "g20sub.ngc": SUBS_ONLY,
    "g76.ngc": (25, COMPENSATION),
    "g881.ngc": SUBS_ONLY,
    "g881min.ngc": SUBS_ONLY,
    "g882.ngc": SUBS_ONLY,
    "gmoccapy_2_tools_with_cutter_radius_compensation.ngc":
        (18, r"^G43: tool 3 \(the one in use\) is not in the machine file's \[tools\] table"),
    "gridprobe.ngc": (35, r"^G38.2 is not supported"),
    "hole-circle.ngc": (10, r"^'\^' starts no word"),  # a polar angle
    "increment.ngc": SUBS_ONLY,
    "lathe-g76.ngc": (25, COMPENSATION),
    "lathe_g70_71_demo.ngc":
        (27, r"^G43: tool 2 \(the one in use\) is not in the machine file's \[tools\] table"),
    "lathe_g7x_face_boring.ngc": (13, r"^G72 is not supported"),
    "lathe_g7x_quadrants.ngc": (15, r"^G70 is not supported"),
    "lathe_pawn.ngc": None,
    "lathecomp.ngc": (17, r"^G43 H2: tool 2 is not in the machine file's \[tools\] table"),
    "m250.ngc": SUBS_ONLY,
    "m61demo.ngc": SUBS_ONLY,
    "m6demo.ngc": SUBS_ONLY,
    "m6remap.ngc": SUBS_ONLY,
    "m70m72-demo.ngc": (32, r"^M70 is not supported"),
    "m73-demo.ngc": (11, r"^M73 is not supported"),
    "m75.ngc": SUBS_ONLY,
    "m76.ngc": SUBS_ONLY,
    "mmount.ngc":
        (77, r"^G43: tool 4 \(the one in use\) is not in the machine file's \[tools\] table"),
    # "o<g20sub> callsub": LinuxCNC refuses it too (a character after the O-word)
    "nestedcall.ngc": (11, r"^o<G20SUB> call: each argument stands in brackets"),
    "offsets.ngc": (7, r"^G43: tool 2 \(the one in use\) is not in the machine file's \[tools\] table"),
    "plasmatest.ngc": None,
    "polar.ngc": (10, r"^'\^' starts no word"),
    "probe-hole.ngc": SUBS_ONLY,
    "retval.ngc": None,  # its return is labelled by the if it stands in
    "roparams.ngc": None,
    "skeleton.ngc": None,
    "smartprobe.ngc": (39, r"^G38.5 is not supported"),
    "spiral.ngc": (9, r"^'@' starts no word"),  # a polar distance
    "systems.ngc": (15, r"^G5.1 is not supported"),
    "testm6fail.ngc": None,
    "threading.ngc": (36, r"^G33 is not supported"),
    "tool-length-probe.ngc": (18, r"^G38.2 is not supported"),
    "toplevel.ngc": (9, r"^M70 is not supported"),
    "tort.ngc": None,
    "touchoff.ngc": SUBS_ONLY,
    "useful-subroutines.ngc": (24, COMPENSATION),
    "x-trim.ngc": (5, r"^G38.2 is not supported"),  # in touchoff.ngc, the sub it calls
    "gcode-interpreter/circle.nc": None,
    "gcode-interpreter/default-handler.nc": (2, r"^G1 with no feed rate \(F\)"),
    "gcode-interpreter/helical-thread-milling.nc": (2, COMPENSATION),
    "gcode-interpreter/one-inch-circle.nc": None,
    "gcode-interpreter/t2laser.nc": None,
    "gcode-parser/circle-inch.gcode": None,
    "gcode-parser/circle.gcode": None,
    "gcode-parser/spaces.gcode": None,
    "gcode-parser/special-fields.gcode": (3, r"^'\*' \(a checksum\) is not supported"),
    "gcode-toolpath/arc-no-plane.nc": None,
    "gcode-toolpath/arc-r.nc": (2, r"^G2 with no feed rate \(F\)"),
    "gcode-toolpath/arc-xy-plane.nc": None,
    "gcode-toolpath/arc-yz-plane.nc": None,
    "gcode-toolpath/arc-zx-plane.nc": None,
    "gcode-toolpath/circle.nc": None,
    "gcode-toolpath/coordinate.nc": None,
    "gcode-toolpath/dwell.nc": (2, r"^G4 needs P, the dwell in seconds"),  # G4 S2
    "gcode-toolpath/feedrate.nc": (1, r"^G93 is not supported \(inverse time feed\)"),
    "gcode-toolpath/g92offset.nc": (28, r"^G92 needs X, Y or Z"),
    "gcode-toolpath/helical-thread-milling.nc": (2, COMPENSATION),
    "gcode-toolpath/linear.nc": None,
    "gcode-toolpath/motion.nc": (1, r"^G92 needs X, Y or Z"),
    "gcode-toolpath/one-inch-circle.nc": None,
    "gcode-toolpath/t2laser.nc": None,
    "gcode-toolpath/units.nc": None,
}


def printers(text):
    """Whether a file is a 3D printer's: E words on a line without M66, M67 or M68 (which
    name an input or output by E), or * checksums (on a line without parameters)."""
    for raw in text.split("\n"):
        line = re.sub(r"\([^)]*\)", "", raw).split(";")[0].upper()
        if re.search(r"\bE\s*-?[\d.]", line) and not re.search(r"\bM6[678]\b", line):
            return True
        if re.search(r"\*\s*\d+\s*$", line) and not re.search(r"[#\[]", line):
            return True
    return False


def verdict(name, rc, report, stderr, text):
    """What is wrong with korva3's answer on one file (empty: nothing)."""
    if rc not in (0, 2) or report is None:
        return ["exit code %d, no JSON answer: %s" % (rc, stderr[-300:])]
    faults = []
    if rc == 0:
        if not report["accepted"]:
            faults.append("exit code 0 but refused")
        expected = EXPECTED.get(name, "unlisted")
        if expected not in (None, "unlisted", SUBS_ONLY):
            faults.append("accepted, expected refused at line %d (%s)" % expected)
        if expected == SUBS_ONLY and sum(report["moves"].values()):
            faults.append("a file of subroutines it does not call made moves")
        return faults
    errors = report["errors"]
    line, why = corpus.first_error(report)
    if line is None:
        faults.append("refused with no FILE:LINE: %r" % errors[:2])
    if printers(text) and not any("3D printer" in e for e in errors):
        faults.append("a 3D printer's file (E words or * checksums) without the printer hint")
    if sum("3D printer" in e for e in errors) > 1:
        faults.append("the printer hint more than once")
    for e in errors:
        if re.search(r"G4[12]\b", e) and "compensat" not in e:
            faults.append("G41/G42 refused without saying why: " + e)
    expected = EXPECTED.get(name, "unlisted")
    if expected in (None, SUBS_ONLY):
        faults.append("refused, expected accepted: %s" % errors[:3])
    elif expected != "unlisted" and (line != expected[0] or not re.search(expected[1], why)):
        faults.append("first error at line %s: %r, expected line %d: /%s/"
                      % (line, why, expected[0], expected[1]))
    return faults


def main():
    korva3, script, folder, machine = sys.argv[1:5]
    table = "--table" in sys.argv[5:]
    corpus.fetch(script, folder)
    failed = passed = 0
    for name, source, path in corpus.files(folder):
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        rc, report, stderr = corpus.check(korva3, machine, path)
        faults = verdict(name, rc, report, stderr, text)
        if name not in EXPECTED:
            faults.append("not in the expected table")
        if table and report is not None:
            if report["accepted"]:
                result = "accepted (%d moves)" % sum(report["moves"].values())
            else:
                line, why = corpus.first_error(report)
                result = "refused, line %s: %s" % (line, why)
            print("| %s | %s | %s |" % (name, source, result.replace("|", "\\|")))
        for fault in faults:
            print("FAIL %s: %s" % (name, fault))
        failed += bool(faults)
        passed += not faults
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
