"""The corpus of real G-code (scripts/corpus.sh fetches it) and korva3's word on each file,
shared by corpus_test.py and reference_test.py."""
import json
import os
import re
import subprocess
import sys

SKIP = 77  # the tests' skip code (SKIP_RETURN_CODE)


def fetch(script, folder):
    """Fetches the corpus into folder (once); exits with SKIP when the tools are missing."""
    r = subprocess.run([script, folder], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       text=True, timeout=900)
    if r.returncode == SKIP:
        print("SKIPPED: the G-code corpus cannot be fetched here: " + r.stdout.strip())
        sys.exit(SKIP)
    if r.returncode != 0:
        sys.exit("the corpus fetch failed:\n" + r.stdout)


def files(folder):
    """(name, source, path) of every program: LinuxCNC's samples (the top folder and the
    splash screens), the npm packages' test programs."""
    out = []
    with open(os.path.join(folder, "versions")) as f:
        versions = [line for line in f.read().split("\n") if line and "(reference)" not in line]
    debian = next(v for v in versions if " " in v)  # "linuxcnc-uspace VERSION"
    lcnc = os.path.join(folder, "linuxcnc")
    for name in sorted(os.listdir(lcnc)):
        if name.endswith(".ngc"):
            out.append((name, "Debian " + debian, os.path.join(lcnc, name)))
    for package in sorted(os.listdir(os.path.join(folder, "npm"))):
        for name in sorted(os.listdir(os.path.join(folder, "npm", package))):
            pinned = next(v for v in versions if v.startswith(package + "@"))
            out.append((package + "/" + name, "npm " + pinned,
                        os.path.join(folder, "npm", package, name)))
    return out


def check(korva3, machine, path):
    """korva3 gcode --check --json on one file: (exit code, the JSON object, stderr)."""
    try:
        r = subprocess.run([korva3, "gcode", path, "--machine", machine, "--check", "--json"],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    except subprocess.TimeoutExpired:
        return -1, None, "no answer within 120 s"
    out = r.stdout.decode("utf-8", "replace").strip()
    report = json.loads(out) if out else None
    return r.returncode, report, r.stderr.decode("utf-8", "replace")


ERROR_LINE = re.compile(r"^(?P<file>.+?):(?P<line>\d+): (?P<why>.+)$")


def first_error(report):
    """(line, reason) of the first FILE:LINE error of a refused program."""
    for e in report["errors"]:
        m = ERROR_LINE.match(e)
        if m:
            return int(m.group("line")), m.group("why")
    return None, report["errors"][0] if report["errors"] else ""
