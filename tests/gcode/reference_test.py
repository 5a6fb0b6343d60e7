#!/usr/bin/env python3
"""Where a program goes, by an independent interpreter: gcode-toolpath (npm, run by node
through toolpath_reference.js) reads each program that korva3 accepts and that it
understands (plain moves, arcs, planes, units, distance modes, G92, tool lengths); its end
point and its extent per axis must match what `korva3 gcode --check --json` reports, to
the machine's pulse on each axis. A few short ones also run on the virtual card, which
must end on the reference's end point, to the pulse.
Usage: reference_test.py KORVA3 CORPUS_SCRIPT CORPUS_DIR MACHINE EXAMPLES_DIR"""
import json
import os
import re
import shutil
import subprocess
import sys
import tomllib

import corpus

HERE = os.path.dirname(os.path.abspath(__file__))
# Run on the virtual card too: short programs of lines, arcs in two planes, inches.
ON_THE_CARD = {"pocket.ngc", "engrave.ngc", "gcode-toolpath/arc-zx-plane.nc",
               "gcode-toolpath/one-inch-circle.nc", "gcode-parser/circle-inch.gcode"}
MOTION = {0.0, 1.0, 2.0, 3.0}
UNDERSTOOD_G = MOTION | {4.0, 17.0, 18.0, 19.0, 20.0, 21.0, 40.0, 43.0, 49.0, 54.0, 61.0,
                         61.1, 64.0, 80.0, 90.0, 91.0, 92.0, 92.1, 94.0}
UNDERSTOOD_M = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0, 30.0}
WORD = re.compile(r"([A-Z])\s*([-+]?(?:\d+\.?\d*|\.\d+))")


def not_understood(text):
    """Why gcode-toolpath would read the program otherwise than RS274/NGC says (None: it
    reads it alike). It knows no parameters, O-words or block delete, and it splits a
    line at each G, M and T word: the axis words after one belong to it, so they move
    only after a motion word (or G43, G92), or at the line's start before any."""
    for number, raw in enumerate(text.split("\n"), 1):
        line = re.sub(r"\([^)]*\)", "", raw).split(";")[0].upper().strip()
        if line.startswith("%") or not line:
            continue
        if re.search(r"[#\[/O]", line):
            return "line %d: parameters, expressions, O-words or block delete" % number
        head = None  # the word that leads the words after it
        for letter, value in WORD.findall(line):
            value = float(value)
            if letter == "N":
                continue
            if letter in "GMT":
                if (letter == "G" and value not in UNDERSTOOD_G) or \
                   (letter == "M" and value not in UNDERSTOOD_M):
                    return "line %d: %s%g" % (number, letter, value)
                head = (letter, value)
            elif head is None:
                head = (letter, value)
            elif letter in "XYZIJKR" and head[0] not in "XYZIJK" and \
                    not (head[0] == "G" and head[1] in MOTION | {43.0, 92.0}):
                return "line %d: %s after %s%g" % (number, letter, head[0], head[1])
    return None


def reordered(text):
    """The program with the axis words first on each line that has no G, M or T word
    ("R2 X1 Y1" as "X1 Y1 R2": the same in RS274/NGC, and gcode-toolpath then takes them
    as a move in the modal motion)."""
    out = []
    for raw in text.split("\n"):
        line = re.sub(r"\([^)]*\)", "", raw).split(";")[0].upper()
        words = ["%s%s" % w for w in WORD.findall(line)]
        if re.search(r"[#\[O/%]", line) or any(w[0] in "GMT" for w in words):
            out.append(raw)
        else:
            out.append(" ".join(sorted(words, key=lambda w: w[0] not in "XYZIJK")))
    return "\n".join(out)


def reference(folder, text, lengths):
    r = subprocess.run(["node", os.path.join(HERE, "toolpath_reference.js"), folder, "-",
                        json.dumps(lengths)], input=text, stdout=subprocess.PIPE, text=True,
                       timeout=120, check=True)
    return json.loads(r.stdout)


def card_end(korva3, machine, path):
    """The virtual card's end, pulses from its start."""
    r = subprocess.run([korva3, "gcode", path, "--machine", machine, "--quiet"],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=600)
    m = re.search(r"card 0: X (-?\d+)  Y (-?\d+)  Z (-?\d+)", r.stdout)
    if r.returncode != 0 or not m:
        return None, r.stdout[-500:]
    return [int(v) for v in m.groups()], ""


def compare(name, mine, ref, scale):
    """The faults: end or extent further than a pulse from the reference's."""
    faults = []
    for a, axis in enumerate("XYZ"):
        pulse = 1.0 / scale[a] + 1e-9
        for what, ours, theirs in (("end", mine["end_mm"][a], ref["end"][a]),
                                   ("lowest", mine["extent_mm"]["low"][a], ref["low"][a]),
                                   ("highest", mine["extent_mm"]["high"][a], ref["high"][a])):
            if abs(ours - theirs) > pulse:
                faults.append("%s %s: korva3 %.4f mm, the reference %.4f mm"
                              % (axis, what, ours, theirs))
    return faults


def main():
    korva3, script, folder, machine, examples = sys.argv[1:6]
    if not shutil.which("node"):
        print("SKIPPED: node is missing (scripts/deps.sh test installs it)")
        return corpus.SKIP
    corpus.fetch(script, folder)
    with open(machine, "rb") as f:
        lengths = {k[1:]: v for k, v in tomllib.load(f).get("tools", {}).items()}
    programs = [(n, os.path.join(examples, n)) for n in ("bracket.ngc", "pocket.ngc",
                                                         "engrave.ngc")]
    programs += [(name, path) for name, _, path in corpus.files(folder)]
    passed = failed = 0
    for name, path in programs:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = reordered(f.read())
        why = not_understood(text)
        rc, mine, _ = corpus.check(korva3, machine, path)
        if rc != 0 or why:
            print("not compared: %s (%s)" % (name, why or "refused by korva3"))
            continue
        ref = reference(folder, text, lengths)
        faults = compare(name, mine, ref, mine["scale"])
        if name in ON_THE_CARD:
            at, out = card_end(korva3, machine, path)
            want = [round(ref["end"][a] * mine["scale"][a]) for a in range(3)]
            if at is None:
                faults.append("did not run on the virtual card: " + out)
            elif any(abs(at[a] - want[a]) > 1 for a in range(3)):
                faults.append("the card ended at %s pulses, the reference at %s" % (at, want))
        for fault in faults:
            print("FAIL %s: %s" % (name, fault))
        if not faults:
            print("ok %s: ends at %s mm" % (name, ", ".join("%.4f" % v for v in ref["end"])))
        failed += bool(faults)
        passed += not faults
    if passed + failed < 12:
        print("FAIL: only %d programs compared" % (passed + failed))
        failed += 1
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
