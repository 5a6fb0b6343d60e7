#!/usr/bin/env bash
# Usage: scripts/deps.sh demo|test
# Installs the Debian packages the demo (demo) or every test (test) needs, if any is
# missing: through apt-get, as root or with sudo. When all are there it does nothing.
set -euo pipefail

demo_packages=(cmake ninja-build g++ libtoml11-dev nlohmann-json3-dev) # machine files
# Every test: the build, GoogleTest and Google Benchmark, the packages and their checks
# (dpkg-shlibdeps, pkg-config), the Windows builds proved under Wine (32-bit Wine needs
# the i386 architecture) with clang, lld and llvm for the MSVC import libraries and
# python3 for the calling convention check, clang's libFuzzer runtime for fuzz/, the
# Python package's tests (pytest, NumPy, Matplotlib, pip, librsvg for the plots), the
# .NET bindings' (Mono), the front panel's HTTP library and JSON, and Chromium driven
# from Python for the browser tests; node and npm for the G-code corpus and its reference
# interpreter (scripts/corpus.sh).
test_packages=(cmake ninja-build g++ libtoml11-dev make libgtest-dev googletest libbenchmark-dev
               ca-certificates dpkg-dev pkgconf
               g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
               wine wine64 wine32:i386 clang lld llvm libclang-rt-14-dev
               python3 python3-pytest python3-numpy python3-matplotlib python3-pip
               python3-setuptools python3-wheel librsvg2-bin mono-mcs mono-runtime
               libcpp-httplib-dev nlohmann-json3-dev chromium python3-websocket nodejs)
# npm: in some builds of nodejs, a package of its own in Debian's.
command -v npm >/dev/null || test_packages+=(npm)
# scripts/corpus.sh downloads (never installs) this package's sample programs: apt's
# lists must know it.
corpus_package=linuxcnc-uspace

case "${1:-}" in
    demo) wanted=("${demo_packages[@]}") ;;
    test) wanted=("${test_packages[@]}") ;;
    *) echo "usage: $0 demo|test" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$package")
done
stale_lists=false
if [ "$1" = test ] && ! apt-cache show "$corpus_package" >/dev/null 2>&1; then
    stale_lists=true
fi
[ ${#missing[@]} -eq 0 ] && ! $stale_lists && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
elif [ ${#missing[@]} -eq 0 ]; then
    echo "deps.sh: apt does not know $corpus_package: the G-code corpus tests will be skipped" >&2
    exit 0
else
    echo "deps.sh: missing Debian packages: ${missing[*]}" >&2
    echo "deps.sh: run as root (or install sudo) to install them" >&2
    exit 1
fi
if [ ${#missing[@]} -eq 0 ]; then
    echo "deps.sh: updating apt's lists (apt does not know $corpus_package)"
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    exit 0
fi
echo "deps.sh: installing ${missing[*]}"
for package in "${missing[@]}"; do
    if [[ $package == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${as_root[@]}" dpkg --add-architecture i386
        break
    fi
done
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
