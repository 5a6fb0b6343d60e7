#!/usr/bin/env bash
# Usage: scripts/deps.sh demo|test
# Installs the Debian packages the demo (demo) or every test (test) needs, if any is
# missing: through apt-get, as root or with sudo. When all are there it does nothing and
# prints nothing.
#
# A package mirror in mid-sync is no reason to stop: apt-get update is tried a few times
# with a pause, and when some index still fails, apt installs from the lists it has. The
# 32-bit Wine packages are optional (scripts/windows.sh then skips the 32-bit runs and
# says so), and so are LinuxCNC's interpreter and the bCNC sender (their tests are then
# skipped with the reason); every other package that can't be installed is an error
# that names it. With `test`, the cncjs sender comes from npm as well (scripts/cncjs.sh,
# optional).
#   KORVA_DEPS_NPM           0: leave npm alone (1)
#   KORVA_DEPS_UPDATE_TRIES  how many times apt-get update is tried (3)
#   KORVA_DEPS_PAUSE         seconds between tries (20)
set -euo pipefail

demo_packages=(cmake ninja-build g++ libtoml11-dev nlohmann-json3-dev) # machine files
# Every test: the build, GoogleTest and Google Benchmark, the packages and their checks
# (dpkg-shlibdeps, pkg-config), the Windows builds proved under Wine with clang, lld and
# llvm for the MSVC import libraries and python3 for the calling convention check,
# clang's libFuzzer runtime for fuzz/, the Python package's tests (pytest, NumPy,
# Matplotlib, pip, librsvg for the plots), the .NET bindings' (Mono), the front panel's
# HTTP library and JSON, and Chromium driven from Python for the browser tests; node and
# npm for the G-code corpus and its reference interpreter (scripts/corpus.sh).
test_packages=(cmake ninja-build g++ libtoml11-dev make libgtest-dev googletest libbenchmark-dev
               ca-certificates dpkg-dev pkgconf
               g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
               wine wine64 clang lld llvm libclang-rt-14-dev
               python3 python3-pytest python3-numpy python3-matplotlib python3-pip
               python3-setuptools python3-wheel librsvg2-bin mono-mcs mono-runtime
               libcpp-httplib-dev nlohmann-json3-dev chromium python3-websocket nodejs)
# npm: in some builds of nodejs, a package of its own in Debian's.
command -v npm >/dev/null || test_packages+=(npm)
# 32-bit Wine (the i386 architecture): the Win32 builds' runs under Wine. Optional: its
# i386 dependencies can lag the amd64 versions it must match while a mirror syncs.
# bCNC and pyserial: a real sender against korva3 serve --grbl (tests/grbl skips it
# without them).
optional_packages=(wine32:i386 bcnc python3-serial)
# rs274, LinuxCNC's standalone interpreter: the reference the G-code reader is compared
# with move by move (tests/gcode/rs274_reference_test.py). Optional: a large package.
optional_packages+=(linuxcnc-uspace)
# scripts/corpus.sh downloads (never installs) this package's sample programs: apt's
# lists must know it.
corpus_package=linuxcnc-uspace

case "${1:-}" in
    demo) wanted=("${demo_packages[@]}") optional=() ;;
    test) wanted=("${test_packages[@]}") optional=("${optional_packages[@]}") ;;
    *) echo "usage: $0 demo|test" >&2; exit 2 ;;
esac
optional_effect="the runs that need it skip (wine32: scripts/windows.sh's 32-bit Windows runs; linuxcnc-uspace: korva3.gcode_rs274; bcnc, python3-serial: the bCNC sender test)"
tries=${KORVA_DEPS_UPDATE_TRIES:-3}
pause=${KORVA_DEPS_PAUSE:-20}

installed() { [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || true)" = installed ]; }
not_installed() { # package... -> those of them that are not installed
    local package
    for package in "$@"; do installed "$package" || echo "$package"; done
}
optional_npm() { # the cncjs sender (npm), for the tests; never an error
    if [ "$1" = test ] && [ "${KORVA_DEPS_NPM:-1}" != 0 ]; then
        bash "$(dirname "${BASH_SOURCE[0]}")/cncjs.sh" || true
    fi
}
trap 'optional_npm "${1:-}"' EXIT
mapfile -t missing < <(not_installed "${wanted[@]}")
mapfile -t missing_optional < <(not_installed "${optional[@]}")
stale_lists=false
if [ "$1" = test ] && ! apt-cache show "$corpus_package" >/dev/null 2>&1; then
    stale_lists=true
fi
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && ! $stale_lists && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
elif [ ${#missing[@]} -eq 0 ]; then
    [ ${#missing_optional[@]} -eq 0 ] ||
        echo "deps.sh: skipped ${missing_optional[*]} (not root): $optional_effect" >&2
    $stale_lists && echo "deps.sh: apt does not know $corpus_package: the G-code corpus tests will be skipped" >&2
    exit 0
else
    echo "deps.sh: missing Debian packages: ${missing[*]}" >&2
    echo "deps.sh: run as root (or install sudo) to install them" >&2
    exit 1
fi
apt_get() { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }
log=$(mktemp)
trap 'rm -f "$log"; optional_npm "${1:-}"' EXIT
first_error() { grep -m1 '^E:' "$log" | cut -c1-160 || echo "apt-get printed no error"; }

# apt's lists, tried again while a mirror syncs; then whatever lists apt has.
update_lists() {
    local try
    for ((try = 1; try <= tries; try++)); do
        apt_get update -qq >"$log" 2>&1 && return 0
        [ "$try" -lt "$tries" ] && sleep "$pause"
    done
    echo "deps.sh: apt-get update failed $tries times ($(first_error)): installing from the lists apt has"
}
if [ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ]; then
    echo "deps.sh: updating apt's lists (apt does not know $corpus_package)"
    update_lists
    exit 0
fi

all_missing=("${missing[@]}" "${missing_optional[@]}")
echo "deps.sh: installing ${all_missing[*]}"
for package in "${all_missing[@]}"; do
    if [[ $package == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${as_root[@]}" dpkg --add-architecture i386
        break
    fi
done
update_lists
apt_install() { apt_get install -y -qq --no-install-recommends "$@" >"$log" 2>&1; }

if [ ${#missing[@]} -gt 0 ] && ! apt_install "${missing[@]}"; then
    # One package apt can't install stops the whole transaction: install the others
    # one by one, then name those that are still missing.
    for package in "${missing[@]}"; do apt_install "$package" || true; done
    mapfile -t failed < <(not_installed "${missing[@]}")
    if [ ${#failed[@]} -gt 0 ]; then
        apt_install "${failed[@]}" || true
        echo "deps.sh: could not install ${failed[*]} ($(first_error))" >&2
        exit 1
    fi
fi
for package in "${missing_optional[@]}"; do # one at a time: each may fail alone
    apt_install "$package" ||
        echo "deps.sh: skipped $package, which apt can't install now ($(first_error)): $optional_effect"
done
exit 0
