#!/usr/bin/env python3
"""stream_bench.py - `korva3 gcode` on programs of 10^4 .. 10^7 lines.

Generates G-code programs of four kinds as CAM posts write them (3D surfacing,
engraving, drilling with canned cycles, subroutines and loops), each exactly N lines
long, from a seed (long_programs.py); then for each program measures

  korva3 gcode FILE --check          wall time, peak memory (max RSS), lines per second
  korva3 gcode FILE --quiet          the run on the virtual card: wall time, peak memory,
                                     the program's machine time and times real time
  rs274 -g FILE                      LinuxCNC's standalone interpreter, where installed,
                                     beside --check

and prints one table (also written as JSON with --json). Each command runs in a
process of its own, under /usr/bin/time -f %M where it is installed (else the
child's own rusage from wait4; process_measure.py), with a timeout that is reported as
such.

    bench/stream_bench.py --smoke                      # 10^3 lines, all kinds: seconds
    bench/stream_bench.py                              # 10^4 .. 10^6 lines: many minutes
    bench/stream_bench.py --sizes 1e7 --run-sizes none --json after.json
    bench/stream_bench.py --korva3 /path/to/korva3 --kinds surfacing,drilling

Python 3, standard library only.
"""

import argparse
import json
import os
import re
import shutil
import sys
import tempfile
import time

from long_programs import KINDS, count_lines, write_program
from process_measure import GNU_TIME, measure

# The machine the runs use: 1000 pulses per mm, 6000 mm/min and 500 mm/s^2 per axis,
# corners blended within 0.01 mm.
MACHINE_TOML = """\
# stream_bench.py's machine: 1000 pulses per mm, 6000 mm/min, 500 mm/s^2 per axis
rapid = 6000          # mm/min, for G0
path_tolerance = 0.01 # mm

[scale]
x = 1000
y = 1000
z = 1000

[max_velocity]        # mm/min
x = 6000
y = 6000
z = 6000

[max_accel]           # mm/s^2
x = 500
y = 500
z = 500

[outputs]
spindle = 0
mist = -1
flood = 1
"""

# The longest a run may take on the virtual clock (korva3's --limit maximum, ms).
RUN_LIMIT_MS = 2147483647

# The subroutine kind makes about 1.7 loop iterations and calls a line: more than
# korva3's default bound (10^6) from about 6 x 10^5 lines on.
MAX_ITERATIONS = 1000000000


def first_line(text):
    for ln in text.splitlines():
        if ln.strip() and not ln.startswith("Command exited") and \
                not ln.startswith("Command terminated"):
            return ln.strip()
    return ""


RE_PLANNED = re.compile(r"planned time: .*?; (\d+) ms\)")
RE_RUN = re.compile(r"\((\d+) ms, the program (\d+) ms")


def korva3_gcode(korva3, path, machine, kind, run, timeout_s):
    """`korva3 gcode FILE --check`, or with run the program on the virtual card
    (--quiet, the longest --limit there is)."""
    cmd = [korva3, "gcode", path, "--machine", machine]
    cmd += ["--quiet", "--limit", str(RUN_LIMIT_MS)] if run else ["--check"]
    if kind == "subroutines":
        cmd += ["--max-iterations", str(MAX_ITERATIONS)]
    m = measure(cmd, timeout_s)
    r = {"cmd": cmd, "wall_s": m.wall_s, "peak_mb": m.peak_mb, "rc": m.rc,
         "timeout": m.timeout}
    if run:
        hit = RE_RUN.search(m.stdout)
        r["card_ms"] = int(hit.group(1)) if hit else None
        r["machine_ms"] = int(hit.group(2)) if hit else None
    else:
        hit = RE_PLANNED.search(m.stdout)
        r["planned_ms"] = int(hit.group(1)) if hit else None
    if m.rc != 0 and not m.timeout:
        r["error"] = first_line(m.stderr) or first_line(m.stdout)
    return r


def rs274_run(rs274, path, home, timeout_s):
    """LinuxCNC's standalone interpreter in batch mode (-g), canonical calls to
    /dev/null. It writes $HOME/.tool.mmap, hence a HOME of its own."""
    env = dict(os.environ, HOME=home)
    cmd = [rs274, "-g", path]
    m = measure(cmd, timeout_s, env=env, cwd=home, stdout_path=os.devnull)
    r = {"cmd": cmd, "wall_s": m.wall_s, "peak_mb": m.peak_mb, "rc": m.rc,
         "timeout": m.timeout}
    # rs274 prints "executing" on standard error, then an error's text and its line.
    errs = [ln for ln in m.stderr.splitlines() if ln.strip() and ln.strip() != "executing"
            and not ln.startswith("Command exited")]
    if m.rc != 0 and not m.timeout:
        r["error"] = " | ".join(errs[:2])
    return r


# ---------------------------------------------------------------------------------------
# The table
# ---------------------------------------------------------------------------------------

def cell_time(r):
    if r is None:
        return "-"
    if r.get("timeout"):
        return "timeout"
    if r.get("rc"):
        return "rc %d" % r["rc"]
    return "%.2f" % r["wall_s"]


def cell_mb(r):
    if r is None or r.get("peak_mb") is None:
        return "-"
    return "%.1f" % r["peak_mb"]


def row_cells(p):
    chk, run, ref = p.get("check"), p.get("run"), p.get("rs274")
    ok = chk is not None and chk["rc"] == 0 and not chk["timeout"]
    lps = "{:,.0f}".format(p["lines"] / chk["wall_s"]) if ok and chk["wall_s"] > 0 else "-"
    ratio = "-"
    if ok and ref is not None and ref["rc"] == 0 and not ref["timeout"]:
        ratio = "%.2f" % (ref["wall_s"] / chk["wall_s"])
    machine = xreal = "-"
    if run is not None and run.get("machine_ms") is not None:
        machine = "{:,.0f}".format(run["machine_ms"] / 1000.0)
        if run["rc"] == 0 and run["wall_s"] > 0:
            xreal = "%.0f" % (run["machine_ms"] / 1000.0 / run["wall_s"])
    return [p["kind"], "{:,}".format(p["lines"]), "%.1f" % (p["bytes"] / 1e6),
            cell_time(chk), cell_mb(chk), lps,
            cell_time(ref), cell_mb(ref), ratio,
            cell_time(run), cell_mb(run), machine, xreal]


HEADERS = ["kind", "lines", "file MB", "check s", "check MB", "lines/s",
           "rs274 s", "rs274 MB", "rs274/check", "run s", "run MB", "machine s", "x real time"]


def table(programs, markdown=False):
    rows = [row_cells(p) for p in programs]
    if markdown:
        out = ["| " + " | ".join(HEADERS) + " |",
               "|" + "---|" * len(HEADERS)]
        out += ["| " + " | ".join(r) + " |" for r in rows]
        return "\n".join(out)
    widths = [max(len(h), *(len(r[i]) for r in rows)) if rows else len(h)
              for i, h in enumerate(HEADERS)]
    fmt = lambda cells: "  ".join(c.rjust(w) if i else c.ljust(w)  # noqa: E731
                                  for i, (c, w) in enumerate(zip(cells, widths)))
    return "\n".join([fmt(HEADERS)] + [fmt(r) for r in rows])


def notes(programs):
    """The errors and timeouts behind the table's cells, one line each."""
    out = []
    for p in programs:
        for what in ("check", "rs274", "run"):
            r = p.get(what)
            if r is None:
                continue
            if r.get("timeout"):
                out.append("%s %d %s: timed out after %.0f s" % (p["kind"], p["lines"], what,
                                                                  r["wall_s"]))
            elif r.get("rc"):
                out.append("%s %d %s: exit %d: %s" % (p["kind"], p["lines"], what, r["rc"],
                                                      r.get("error", "")))
    return out


# ---------------------------------------------------------------------------------------

def parse_sizes(text):
    if text.strip().lower() in ("", "none"):
        return []
    out = []
    for part in text.split(","):
        part = part.strip().lower()
        if part.startswith("10^"):
            out.append(10 ** int(part[3:]))
        else:
            out.append(int(float(part)))
    return out


def system_load():
    try:
        with open("/proc/loadavg") as f:
            return " ".join(f.read().split()[:3])
    except OSError:
        return "?"


def main(argv=None):
    ap = argparse.ArgumentParser(
        epilog="korva3 gcode (--check and a run on the virtual card) on programs of "
               "10^4 .. 10^7 lines, beside LinuxCNC's rs274 where installed.")
    ap.add_argument("--korva3", default=None,
                    help="the korva3 binary (default: ./build/tools/korva3/korva3, else the "
                         "one in this checkout's build/)")
    ap.add_argument("--rs274", default=None,
                    help="LinuxCNC's rs274 (default: found on PATH; 'none' skips it)")
    ap.add_argument("--sizes", default="1e4,1e5,1e6",
                    help="program sizes in lines, e.g. 1e4,1e5,1e6,1e7 (default: %(default)s)")
    ap.add_argument("--run-sizes", default="1e4,1e5,1e6",
                    help="the sizes also run on the virtual card ('none': no runs; "
                         "default: %(default)s)")
    ap.add_argument("--kinds", default=",".join(KINDS),
                    help="program kinds (default: %(default)s)")
    ap.add_argument("--seed", type=int, default=1, help="generator seed (default: 1)")
    ap.add_argument("--timeout", type=float, default=3600.0,
                    help="seconds per command before it is stopped and reported as a "
                         "timeout (default: %(default)s)")
    ap.add_argument("--scratch", default=None,
                    help="folder for the programs, the machine file and rs274's HOME "
                         "(default: a temporary folder, removed unless --keep)")
    ap.add_argument("--keep", action="store_true", help="keep the generated programs")
    ap.add_argument("--json", default=None, help="write the figures to this JSON file")
    ap.add_argument("--markdown", action="store_true", help="print the table as Markdown")
    ap.add_argument("--table-from", metavar="JSON", default=None,
                    help="run nothing: print the table of a run saved with --json")
    ap.add_argument("--smoke", action="store_true",
                    help="a quick self-check: 10^3 lines, every kind, checked, run and "
                         "read by rs274; every one must be accepted")
    a = ap.parse_args(argv)

    if a.table_from:
        with open(a.table_from) as f:
            doc = json.load(f)
        print(table(doc["programs"], a.markdown))
        for ln in notes(doc["programs"]):
            print(ln)
        print("korva3: %s; load average %s at the start, %s at the end"
              % (doc["korva3"], doc.get("load_start", "?"), doc.get("load_end", "?")))
        return 0

    if a.smoke:
        sizes = run_sizes = [1000]
    else:
        sizes, run_sizes = parse_sizes(a.sizes), parse_sizes(a.run_sizes)
    kinds = [k.strip() for k in a.kinds.split(",") if k.strip()]
    for k in kinds:
        if k not in KINDS:
            ap.error("--kinds: %s is none of %s" % (k, ", ".join(KINDS)))
    korva3 = a.korva3 or "./build/tools/korva3/korva3"
    if a.korva3 is None and not os.path.exists(korva3):
        korva3 = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", korva3)
    korva3 = os.path.abspath(korva3)
    if not os.access(korva3, os.X_OK):
        ap.error("--korva3: %s is not an executable (build it: cmake --build build "
                 "--target korva3)" % korva3)
    rs274 = None
    if a.rs274 != "none":
        rs274 = a.rs274 or shutil.which("rs274")
        if rs274 and not os.access(rs274, os.X_OK):
            rs274 = None
    if rs274 is None and a.rs274 != "none":
        print("rs274 (LinuxCNC's interpreter, Debian's linuxcnc-uspace) is not installed: "
              "its columns stay empty")

    scratch_made = a.scratch is None
    scratch = os.path.abspath(a.scratch or tempfile.mkdtemp(prefix="stream_bench_"))
    os.makedirs(scratch, exist_ok=True)
    home = os.path.join(scratch, "home")
    os.makedirs(home, exist_ok=True)
    machine = os.path.join(scratch, "machine.toml")
    with open(machine, "w") as f:
        f.write(MACHINE_TOML)

    print("korva3: %s" % korva3)
    print("rs274:  %s" % (rs274 or "-"))
    print("peak memory from: %s" % ("/usr/bin/time -f %M" if os.access(GNU_TIME, os.X_OK)
                                    else "wait4's rusage (may include the parent's RSS)"))
    print("scratch: %s; load average at the start: %s; %d cores"
          % (scratch, system_load(), os.cpu_count() or 0))
    sys.stdout.flush()

    programs = []
    started = time.time()
    load_start = system_load()
    try:
        for n in sizes:
            for kind in kinds:
                path = os.path.join(scratch, "%s_%d.ngc" % (kind, n))
                t0 = time.perf_counter()
                size = write_program(kind, n, a.seed, path)
                gen_s = time.perf_counter() - t0
                p = {"kind": kind, "lines": n, "bytes": size, "file": path,
                     "generate_s": gen_s, "load_before": system_load()}
                if count_lines(path) != n:
                    raise SystemExit("%s: %d lines written, not %d"
                                     % (path, count_lines(path), n))
                print("%s %d lines: %.1f MB written in %.1f s" % (kind, n, size / 1e6, gen_s),
                      flush=True)
                p["check"] = korva3_gcode(korva3, path, machine, kind, False, a.timeout)
                print("  check: %s s, %s MB" % (cell_time(p["check"]), cell_mb(p["check"])),
                      flush=True)
                if rs274:
                    p["rs274"] = rs274_run(rs274, path, home, a.timeout)
                    print("  rs274: %s s, %s MB" % (cell_time(p["rs274"]),
                                                   cell_mb(p["rs274"])), flush=True)
                if n in run_sizes:
                    p["run"] = korva3_gcode(korva3, path, machine, kind, True, a.timeout)
                    print("  run:   %s s, %s MB" % (cell_time(p["run"]), cell_mb(p["run"])),
                          flush=True)
                p["load_after"] = system_load()
                programs.append(p)
                if not a.keep:
                    os.unlink(path)
    finally:
        if not a.keep and scratch_made:
            shutil.rmtree(scratch, ignore_errors=True)

    print()
    print(table(programs, a.markdown))
    for ln in notes(programs):
        print(ln)
    print("load average at the end: %s; %.0f s in all" % (system_load(), time.time() - started))

    if a.json:
        doc = {"korva3": korva3, "rs274": rs274, "seed": a.seed, "timeout_s": a.timeout,
               "machine_toml": MACHINE_TOML, "cores": os.cpu_count(),
               "started": time.strftime("%Y-%m-%dT%H:%M:%S", time.localtime(started)),
               "load_start": load_start, "load_end": system_load(),
               "columns": HEADERS, "table": [row_cells(p) for p in programs],
               "programs": programs}
        with open(a.json, "w") as f:
            json.dump(doc, f, indent=1)
            f.write("\n")

    if a.smoke:
        bad = []
        for p in programs:
            for what in ("check", "run", "rs274"):
                r = p.get(what)
                if r is not None and (r["rc"] != 0 or r["timeout"]):
                    bad.append("%s %s" % (p["kind"], what))
        if bad:
            print("smoke: FAILED: %s" % ", ".join(bad))
            return 1
        print("smoke: every program accepted by korva3 --check, run on the virtual card%s"
              % (" and read by rs274" if rs274 else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
