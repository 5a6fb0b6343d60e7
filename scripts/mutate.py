#!/usr/bin/env python3
"""Mutation pass over the library core: plants one small fault at a time in src/ (the
kind a refactoring slips in), rebuilds, runs the whole suite, and counts the faults the
suite catches ("killed") and those it misses ("survived").

    ./scripts/mutate.py            # every mutant; exit 1 if any survives
    ./scripts/mutate.py 3 7        # only mutants 3 and 7 (numbers as listed)
    ./scripts/mutate.py --list     # the list

Builds in build-mutants/. The source file is restored after each mutant, also on
Ctrl-C. Takes about 20 s a mutant on two cores.
"""
import os
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = ROOT / "build-mutants"

# (file, what is there, what the fault makes of it, what the fault is)
MUTANTS = [
    ("src/interp/profile.cpp",
     "int64_t next = (int64_t)step - (int64_t)(step * step / (2 * rem));\n"
     "        intp.step = next < (int64_t)a ? a : (uint32_t)next;",
     "uint64_t next = step - step * step / (2 * rem);\n"
     "        intp.step = next < (uint64_t)a ? a : (uint32_t)next;",
     "ramp-down comparison made unsigned"),
    ("src/card/registration.cpp",
     "        rec->rx_prev = 0;\n        rec->rx_last = 0;\n", "",
     "registration keeps the status reader's receive state"),
    ("src/interp/line.cpp",
     "intp.ideal_u = intp.target_u / intp.path_length * travelled;",
     "intp.ideal_u = intp.target_u * travelled / intp.path_length;",
     "ideal point of a line in another order of the same arithmetic"),
    ("src/link/command_frame.h", "return seq >= SEQ_LAST ? 1", "return seq > SEQ_LAST ? 1",
     "sequence counter wraps one late"),
    ("src/link/command_frame.cpp", "frame[FRAME_POS_CHECK] = (uint8_t)~check;",
     "frame[FRAME_POS_CHECK] = check;", "second copy without the complemented check"),
    ("src/link/command_frame.cpp", "    wait_tx_ready(status_port);\n    wait_tx_ready(status_port);\n",
     "    wait_tx_ready(status_port);\n", "one wait for the ready bit instead of two"),
    ("src/link/status_frame.cpp", "for (int i = 0; i < STATUS_POS_CHECK; i++)",
     "for (int i = 1; i < STATUS_POS_CHECK; i++)", "status check byte leaves out the first byte"),
    ("src/link/status_frame.cpp", "rec->rx_prev = rec->rx_last;\n                return st;",
     "return st;", "a dropped partial frame leaves the sync state behind"),
    ("src/interp/profile.cpp", "if (intp.total_length < 4 * s) {",
     "if (intp.total_length <= 4 * s) {", "short-path threshold one pulse off"),
    ("src/interp/profile.cpp", "if (intp.remaining > intp.step) {",
     "if (intp.remaining >= intp.step) {", "last slice not taken when the step fits exactly"),
    ("src/interp/profile.cpp", "if (intp.step > a)\n            intp.step -= a;",
     "intp.step -= a;", "lowering the cap without the floor"),
    ("src/state/card_table.cpp", "return n < CARD_COUNT ?", "return n <= CARD_COUNT ?",
     "card number 16 reaches past the table"),
    ("src/link/command_frame.cpp", "for (int poll = 0; poll < LINK_TEST_POLLS; poll++)",
     "for (int poll = 1; poll < LINK_TEST_POLLS; poll++)", "link test polls one time less"),
    ("src/interp/line.cpp", "intp.travelled += intp.step;", "intp.travelled += intp.step + 1;",
     "the ideal point runs ahead by a pulse a slice"),
    ("src/link/direct_regs.cpp", "const uint8_t outputs = (uint8_t)(value & DIO_OUTPUTS);",
     "const uint8_t outputs = (uint8_t)value;", "outputs may drive the reset line"),
    ("src/state/motion_vars.h", "return speed > SPEED_CEILING ? SPEED_CEILING : speed;",
     "return speed > SPEED_CEILING + 7 ? SPEED_CEILING + 7 : speed;",
     "the speed ceiling a few pulses too high"),
    ("src/interp/circle_arc.cpp", "const int ccw = direction != 0;", "const int ccw = direction == 1;",
     "arc direction 2 taken as clockwise"),
    ("src/link/direct_regs.cpp", "    if (plat_in8(status_port) & ST_BUSY)\n",
     "    if (0)\n", "an axis counts as stopped while the card is busy"),
]


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def suite_passes():
    if run(["cmake", "--build", str(BUILD), "-j", "2"]).returncode != 0:
        return None  # does not build: not a mutant the suite can judge
    return run(["ctest", "--test-dir", str(BUILD), "-j", "2", "--timeout", "60",
                "--stop-on-failure"]).returncode == 0


def main(argv):
    if "--list" in argv:
        for i, m in enumerate(MUTANTS, 1):
            print(f"{i:3}  {m[0]}: {m[3]}")
        return 0
    chosen = [int(a) for a in argv] or range(1, len(MUTANTS) + 1)
    if run(["cmake", "-S", ".", "-B", str(BUILD), "-G", "Ninja",
            "-DCMAKE_BUILD_TYPE=RelWithDebInfo"]).returncode != 0:
        sys.exit("mutate: cannot configure " + str(BUILD))
    if not suite_passes():
        sys.exit("mutate: the suite fails without any fault planted")
    killed, survived, unbuilt = [], [], []
    for n in chosen:
        path, before, after, what = MUTANTS[n - 1]
        source = ROOT / path
        text = source.read_text()
        if text.count(before) != 1:
            sys.exit(f"mutate: mutant {n} no longer matches {path} exactly once")
        try:
            source.write_text(text.replace(before, after))
            verdict = suite_passes()
        finally:
            source.write_text(text)
            os.utime(source)
        label = {None: "does not build", True: "SURVIVED", False: "killed"}[verdict]
        {None: unbuilt, True: survived, False: killed}[verdict].append(n)
        print(f"{n:3}  {label:14}  {path}: {what}", flush=True)
    judged = len(killed) + len(survived)
    print(f"mutation score: {len(killed)}/{judged} killed"
          + (f" ({len(unbuilt)} did not build)" if unbuilt else ""))
    run(["cmake", "--build", str(BUILD), "-j", "2"])  # leave the build as the sources are
    return 1 if survived else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
