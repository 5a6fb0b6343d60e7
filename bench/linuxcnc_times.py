#!/usr/bin/env python3
"""linuxcnc_times.py - LinuxCNC's machine time on the planner bench's programs.

Runs LinuxCNC's simulator headless (Debian's linuxcnc-uspace) once per limit set: a
configuration of three joints looped back (commanded position = feedback), the same
per-axis velocity and acceleration as the bench, a 1 ms servo period; this script, run
again as its display program, loads each program, runs it and waits for the
interpreter to be idle. HAL's `sampler` records every servo period the joints'
commanded positions and the program's number; a program's time is from its first
moving sample to its last. Writes "limit set<TAB>program<TAB>seconds" lines for
`planner_bench --linuxcnc FILE`.

  bench/linuxcnc_times.py PLANNER_BENCH OUT_FILE [--work DIR] [--only LIMIT_SET]

Needs /usr/bin/linuxcnc and LinuxCNC's Python module (python3.11 on Debian's build);
reports and ends with 2 where they are missing. Never part of the test suite.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

LIMIT_SETS = [("6000/500/P0.01", 6000, 500), ("3000/200/P0.05", 3000, 200)]
PYTHON = "/usr/bin/python3.11"
RUN_TIMEOUT_S = 1800  # a whole limit set; LinuxCNC is stopped after it

INI = """[EMC]
VERSION = 1.1
MACHINE = bench
[DISPLAY]
DISPLAY = {display}
[TASK]
TASK = milltask
CYCLE_TIME = 0.001
[RS274NGC]
PARAMETER_FILE = sim.var
[EMCMOT]
EMCMOT = motmod
COMM_TIMEOUT = 1.0
SERVO_PERIOD = 1000000
[EMCIO]
EMCIO = io
CYCLE_TIME = 0.100
TOOL_TABLE = sim.tbl
[HAL]
HALFILE = bench.hal
[TRAJ]
COORDINATES = X Y Z
LINEAR_UNITS = mm
ANGULAR_UNITS = degree
DEFAULT_LINEAR_VELOCITY = {vel}
MAX_LINEAR_VELOCITY = {vel}
DEFAULT_LINEAR_ACCELERATION = {acc}
MAX_LINEAR_ACCELERATION = {acc}
NO_FORCE_HOMING = 1
POSITION_FILE = position.txt
[KINS]
KINEMATICS = trivkins coordinates=XYZ
JOINTS = 3
"""
AXIS = """[AXIS_{a}]
MAX_VELOCITY = {vel}
MAX_ACCELERATION = {acc}
MIN_LIMIT = -2000
MAX_LIMIT = 2000
[JOINT_{j}]
TYPE = LINEAR
MAX_VELOCITY = {vel}
MAX_ACCELERATION = {acc}
MIN_LIMIT = -2000
MAX_LIMIT = 2000
FERROR = 10
MIN_FERROR = 10
HOME = 0
HOME_SEQUENCE = 0
"""
HAL = """loadrt [KINS]KINEMATICS
loadrt [EMCMOT]EMCMOT servo_period_nsec=[EMCMOT]SERVO_PERIOD num_joints=[KINS]JOINTS
loadrt sampler depth=200000 cfg=ffff
addf motion-command-handler servo-thread
addf motion-controller servo-thread
addf sampler.0 servo-thread
net j0 joint.0.motor-pos-cmd => joint.0.motor-pos-fb sampler.0.pin.0
net j1 joint.1.motor-pos-cmd => joint.1.motor-pos-fb sampler.0.pin.1
net j2 joint.2.motor-pos-cmd => joint.2.motor-pos-fb sampler.0.pin.2
net program sampler.0.pin.3
setp sampler.0.enable 1
net estop-loop iocontrol.0.user-enable-out => iocontrol.0.emc-enable-in
net tool-prep-loop iocontrol.0.tool-prepare => iocontrol.0.tool-prepared
net tool-change-loop iocontrol.0.tool-change => iocontrol.0.tool-changed
loadusr {sample_cmd}
"""


def display(programs):
    """Inside LinuxCNC: run each program in turn, its number on the `program` signal."""
    import linuxcnc  # noqa: only LinuxCNC's Python has it
    s, c = linuxcnc.stat(), linuxcnc.command()

    def wait(cond, limit_s=600):
        end = time.time() + limit_s
        while time.time() < end:
            s.poll()
            if cond():
                return True
            time.sleep(0.005)
        return False

    c.state(linuxcnc.STATE_ESTOP_RESET)
    c.state(linuxcnc.STATE_ON)
    wait(lambda: s.task_state == linuxcnc.STATE_ON, 10)
    c.mode(linuxcnc.MODE_AUTO)
    wait(lambda: s.task_mode == linuxcnc.MODE_AUTO, 10)
    for i, path in enumerate(programs, 1):
        subprocess.run(["halcmd", "sets", "program", str(i)], check=True)
        c.program_open(path)
        time.sleep(0.3)
        c.auto(linuxcnc.AUTO_RUN, 0)
        wait(lambda: s.interp_state != linuxcnc.INTERP_IDLE, 10)
        # Done: the interpreter idle, nothing queued, the joints in position (twice,
        # 0.2 s apart: the interpreter may be idle while motion still runs).
        def done():
            return (s.interp_state == linuxcnc.INTERP_IDLE and s.queue == 0 and s.inpos
                    and s.current_vel == 0)
        if not (wait(done, RUN_TIMEOUT_S) and (time.sleep(0.2) or wait(done, RUN_TIMEOUT_S))):
            c.abort()
            break
        time.sleep(0.3)
    subprocess.run(["halcmd", "sets", "program", "0"], check=True)
    time.sleep(0.5)


def times_from(samples_path, count):
    """Seconds from each program's first moving sample to its last (1 ms samples)."""
    first, last, prev = {}, {}, None
    with open(samples_path) as f:
        for n, line in enumerate(f):
            parts = line.split()
            if len(parts) < 4:
                continue
            pos = tuple(float(p) for p in parts[:3])
            prog = int(float(parts[3]))
            if prev is not None and prog > 0 and max(abs(a - b) for a, b in zip(pos, prev)) > 1e-9:
                first.setdefault(prog, n - 1)
                last[prog] = n
            prev = pos
    return [(last[i] - first[i]) * 0.001 if i in first else -1 for i in range(1, count + 1)]


def run_set(name, feed, acc, programs, work, script):
    """One LinuxCNC session over `programs` (name, path) at one limit set."""
    os.makedirs(work, exist_ok=True)
    vel = feed / 60.0
    display = os.path.join(work, "display.sh")  # LinuxCNC puts -ini FILE after it
    with open(display, "w") as f:
        f.write("#!/bin/sh\nexec %s %s --display\n" % (PYTHON, os.path.abspath(script)))
    os.chmod(display, 0o755)
    ini = INI.format(display=display, vel=vel, acc=acc)
    for j, a in enumerate("XYZ"):
        ini += AXIS.format(a=a, j=j, vel=vel, acc=acc)
    samples = os.path.join(work, "samples.txt")
    sampler = os.path.join(work, "sample.sh")  # halsampler's lines to a file
    with open(sampler, "w") as f:
        f.write("#!/bin/sh\nexec halsampler -c 0 > " + samples + "\n")
    os.chmod(sampler, 0o755)
    with open(os.path.join(work, "bench.ini"), "w") as f:
        f.write(ini)
    with open(os.path.join(work, "bench.hal"), "w") as f:
        f.write(HAL.format(sample_cmd=sampler))
    open(os.path.join(work, "sim.tbl"), "w").write("T1 P1 D0 Z0 ;\n")
    open(os.path.join(work, "sim.var"), "w").write("")
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    env = dict(os.environ, HOME=home, RTAPI_FIFO_PATH=os.path.join(work, "rtapi.sock"),
               BENCH_PROGRAMS=os.pathsep.join(p for _, p in programs))
    if os.geteuid() == 0:
        env["RTAPI_UID"] = str(int(os.environ.get("BENCH_UID", "65534")))
        os.chmod(work, 0o777)
        os.chmod(home, 0o777)
    log = open(os.path.join(work, "linuxcnc.log"), "w")
    try:
        subprocess.run(["linuxcnc", os.path.join(work, "bench.ini")], cwd=work, env=env,
                       stdout=log, stderr=subprocess.STDOUT, timeout=RUN_TIMEOUT_S * 2)
    except subprocess.TimeoutExpired:
        subprocess.run(["halrun", "-U"], cwd=work, env=env)
        return None
    if not os.path.exists(samples):
        return None
    return times_from(samples, len(programs))


def main():
    if "--display" in sys.argv:
        display(os.environ["BENCH_PROGRAMS"].split(os.pathsep))
        return 0
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    if not shutil.which("linuxcnc") or not os.path.exists(PYTHON):
        print("linuxcnc_times.py: LinuxCNC (linuxcnc-uspace) is not installed here")
        return 2
    bench, out = sys.argv[1], sys.argv[2]
    work = sys.argv[sys.argv.index("--work") + 1] if "--work" in sys.argv else tempfile.mkdtemp()
    progs = os.path.join(work, "programs")
    os.makedirs(progs, exist_ok=True)
    subprocess.run([bench, "--write", progs], check=True)
    lines = []
    only = sys.argv[sys.argv.index("--only") + 1] if "--only" in sys.argv else None
    for name, feed, acc in LIMIT_SETS:
        if only and name != only:
            continue
        prefix = name.replace("/", "_") + "_"
        files = sorted(f for f in os.listdir(progs) if f.startswith(prefix))
        programs = [(f[len(prefix):-4].replace("_", " "), os.path.join(progs, f)) for f in files]
        times = run_set(name, feed, acc, programs, os.path.join(work, prefix.strip("_")),
                        sys.argv[0])
        if times is None:
            print(f"{name}: LinuxCNC did not run (see {work})")
            continue
        for (prog, _), t in zip(programs, times):
            print(f"{name}\t{prog}\t{t:.3f}")
            lines.append(f"{name}\t{prog}\t{t:.3f}\n")
    with open(out, "w") as f:
        f.writelines(lines)
    return 0


if __name__ == "__main__":
    sys.exit(main())
