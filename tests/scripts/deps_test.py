#!/usr/bin/env python3
"""scripts/deps.sh against a stand-in apt (scripts first on PATH that keep their own list
of installed packages): a mirror in mid-sync, 32-bit Wine that can't be installed, an
essential package that can't, and nothing missing. Usage: deps_test.py PATH/TO/deps.sh"""
import os
import subprocess
import sys
import tempfile
import unittest

DEPS = None

# The stand-ins. STATE is a folder: "installed" lists one package a line, "calls" logs
# every apt-get call; REFUSE names packages apt-get won't install, FAIL_UPDATE makes
# every update fail as a mirror in mid-sync does.
STAND_INS = {
    "apt-get": r'''#!/bin/sh
echo "apt-get $*" >>"$STATE/calls"
case "$1" in
update)
    [ -n "$FAIL_UPDATE" ] || exit 0
    echo "E: Failed to fetch http://deb.debian.org/.../binary-i386/Packages.xz  File has unexpected size. Mirror sync in progress?" >&2
    exit 100 ;;
install)
    shift
    for p in "$@"; do
        case " $REFUSE " in *" $p "*)
            echo "E: Unable to correct problems, you have held broken packages ($p)." >&2
            exit 100 ;;
        esac
    done
    for p in "$@"; do case "$p" in -*) ;; *) echo "$p" >>"$STATE/installed" ;; esac; done ;;
esac
''',
    "dpkg-query": r'''#!/bin/sh
for last; do :; done
grep -qx "$last" "$STATE/installed" 2>/dev/null || exit 1
printf installed
''',
    "dpkg": "#!/bin/sh\n[ \"$1\" = --print-foreign-architectures ] && echo i386\nexit 0\n",
    "apt-cache": "#!/bin/sh\nexit 0\n",
    "id": "#!/bin/sh\necho 0\n",
    "sleep": "#!/bin/sh\necho \"sleep $*\" >>\"$STATE/calls\"\n",
}


def package_lists():
    """(essential, optional) test packages, as deps.sh names them."""
    out = subprocess.run(["bash", "-c", 'source <(sed -n "/^demo_packages=/,/^corpus_package=/p" "$0");'
                          'echo "${test_packages[*]}"; echo "${optional_packages[*]}"', DEPS],
                         capture_output=True, text=True, check=True).stdout.splitlines()
    return out[0].split(), out[1].split()


class DepsTest(unittest.TestCase):
    def run_deps(self, installed=(), refuse=(), fail_update=False):
        state = tempfile.mkdtemp(prefix="korva-deps-")
        bin_dir = os.path.join(state, "bin")
        os.mkdir(bin_dir)
        for name, text in STAND_INS.items():
            path = os.path.join(bin_dir, name)
            with open(path, "w") as f:
                f.write(text)
            os.chmod(path, 0o755)
        with open(os.path.join(state, "installed"), "w") as f:
            f.write("".join(p + "\n" for p in installed))
        env = dict(os.environ, PATH=bin_dir + ":/usr/bin:/bin", STATE=state,
                   REFUSE=" ".join(refuse), FAIL_UPDATE="1" if fail_update else "",
                   KORVA_DEPS_PAUSE="7", KORVA_DEPS_NPM="0")
        done = subprocess.run(["bash", DEPS, "test"], env=env, capture_output=True, text=True,
                              timeout=60)
        read = lambda name: open(os.path.join(state, name)).read().split("\n") \
            if os.path.exists(os.path.join(state, name)) else []
        return done, set(read("installed")) - {""}, read("calls")

    def test_each_failure(self):
        essential, optional = package_lists()
        self.assertIn("wine32:i386", optional)
        self.assertNotIn("wine32:i386", essential)
        cases = [
            # name, refused, update fails, exit code, installed afterwards, said
            ("mirror mid-sync, no 32-bit Wine", ["wine32:i386"], True, 0,
             set(essential) | set(optional) - {"wine32:i386"},
             ["apt-get update failed 3 times", "Mirror sync in progress",
              "skipped wine32:i386", "32-bit Windows runs"]),
            ("an essential package refused", ["chromium"], False, 1,
             set(essential) - {"chromium"}, ["could not install chromium"]),
            ("all installs", [], False, 0, set(essential) | set(optional), ["installing"]),
        ]
        for name, refuse, fail_update, code, want, said in cases:
            with self.subTest(name):
                done, installed, calls = self.run_deps(refuse=refuse, fail_update=fail_update)
                out = done.stdout + done.stderr
                self.assertEqual(done.returncode, code, out)
                self.assertEqual(installed, want, out)
                for text in said:
                    self.assertIn(text, out)
                updates = sum(c == "apt-get update -qq" for c in calls)
                self.assertEqual(updates, 3 if fail_update else 1, calls)
                self.assertEqual(sum(c == "sleep 7" for c in calls), 2 if fail_update else 0)

    def test_nothing_missing_is_quiet(self):
        essential, optional = package_lists()
        done, _, calls = self.run_deps(installed=essential + optional)
        self.assertEqual((done.returncode, done.stdout, done.stderr), (0, "", ""))
        self.assertEqual(calls, [])


if __name__ == "__main__":
    DEPS = os.path.abspath(sys.argv.pop(1))
    unittest.main()
