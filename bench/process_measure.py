"""process_measure.py - one command measured as a whole process: its wall time, its peak
memory (GNU time's %M where /usr/bin/time exists, else the child's rusage), its exit
code and output, under a timeout (SIGTERM, then SIGKILL). For bench/stream_bench.py.

Python 3, standard library only.
"""

import os
import signal
import subprocess
import tempfile
import threading
import time


GNU_TIME = "/usr/bin/time"


class Measure:
    """One command's wall time, peak memory, exit code, output (or where it went)."""

    def __init__(self):
        self.wall_s = None
        self.peak_mb = None
        self.rc = None
        self.timeout = False
        self.stdout = ""
        self.stderr = ""


def _children(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(p) for p in f.read().split()]
    except OSError:
        return []


def measure(cmd, timeout_s, env=None, cwd=None, stdout_path=None):
    """Runs cmd in a session of its own and waits for it at most timeout_s. Peak memory:
    GNU time's %M (the command's own max RSS) where /usr/bin/time exists, else the
    child's rusage from wait4 (which on Linux may count the parent's RSS at fork time).
    On a timeout the command gets SIGTERM (korva3 stops the card and exits), then
    SIGKILL 10 s later; GNU time still reports the peak it reached."""
    m = Measure()
    use_time = os.access(GNU_TIME, os.X_OK)
    fd, time_file = tempfile.mkstemp(prefix="stream_bench_time_")
    os.close(fd)
    full = ([GNU_TIME, "-f", "%M", "-o", time_file, "--"] if use_time else []) + list(cmd)
    out = open(stdout_path, "wb") if stdout_path else subprocess.PIPE
    t0 = time.perf_counter()
    proc = subprocess.Popen(full, stdin=subprocess.DEVNULL, stdout=out,
                            stderr=subprocess.PIPE, env=env, cwd=cwd,
                            start_new_session=True)
    stdout_chunks, stderr_chunks = [], []

    def drain(stream, sink):
        kept = 0
        for block in iter(lambda: stream.read(65536), b""):
            sink.append(block)
            kept += len(block)
            while kept > (8 << 20):  # keep the last 8 MB at most
                kept -= len(sink.pop(0))

    threads = [threading.Thread(target=drain, args=(proc.stderr, stderr_chunks))]
    if out is subprocess.PIPE:
        threads.append(threading.Thread(target=drain, args=(proc.stdout, stdout_chunks)))
    for t in threads:
        t.daemon = True
        t.start()
    lock = threading.Lock()
    reaped = False

    def stop(hard):
        # SIGTERM to the command itself (under GNU time: time's child, so that time still
        # reports the peak), then SIGKILL to the whole session.
        with lock:
            if reaped:
                return
            if hard:
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                return
            m.timeout = True
            for v in (_children(proc.pid) if use_time else []) or [proc.pid]:
                try:
                    os.kill(v, signal.SIGTERM)
                except ProcessLookupError:
                    pass

    timers = [threading.Timer(timeout_s, stop, (False,)),
              threading.Timer(timeout_s + 10.0, stop, (True,))]
    for t in timers:
        t.daemon = True
        t.start()
    _, status, rusage = os.wait4(proc.pid, 0)  # the wall time ends when the command does
    wall = time.perf_counter() - t0
    with lock:
        reaped = True
    for t in timers:
        t.cancel()
    m.wall_s = wall
    proc.returncode = os.waitstatus_to_exitcode(status)
    for t in threads:
        t.join(5.0)
    if stdout_path:
        out.close()
    m.rc = proc.returncode
    m.stdout = b"".join(stdout_chunks).decode("utf-8", "replace")
    m.stderr = b"".join(stderr_chunks).decode("utf-8", "replace")
    kb = None
    if use_time:
        try:
            with open(time_file) as f:
                nums = [ln.strip() for ln in f if ln.strip().isdigit()]
            kb = int(nums[-1]) if nums else None
        except OSError:
            pass
    elif rusage is not None:
        kb = rusage.ru_maxrss
    os.unlink(time_file)
    m.peak_mb = kb / 1024.0 if kb is not None else None
    return m
