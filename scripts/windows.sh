#!/usr/bin/env bash
# Builds korva32.dll and korva32sim.dll for 32- and 64-bit Windows with MinGW-w64 and
# proves them, under Wine where this machine can run them:
#   1. both architectures cross-built (build-win32, build-win64), optimised, warning-free;
#   2. the CTest tests labelled "static", each counted on its own (no Wine): the export
#      table of each of the four DLLs, read back with objdump -p, against win/exports.tsv
#      and win/ksim_exports.tsv: names, ordinals, the one alias pair, nothing else; the
#      imports of each DLL against an allowlist (tests/windows/imports_*.txt): korva32.dll
#      loads on every Windows from 95 on, korva32sim.dll on XP and later;
#   3. (also "static") the 32-bit calling convention from the machine code: every return
#      of every export pops exactly 4 x its argument count (tests/windows/stdcall_check.py,
#      itself shown to catch a wrong count and a cdecl function on a fixture DLL);
#   4. ctest's other tests in each build, under Wine: the whole test suite against
#      korva32sim.dll, every export through GetProcAddress by name and by ordinal (stack
#      checked), the Windows backend, korva32.dll as Windows 98, NT 4.0, 2000, XP and 7
#      report themselves, and the example program;
#   5. the MSVC import libraries (korva32sim.lib): a program compiled in MSVC mode
#      (clang) and linked by lld-link against them runs;
#   6. the same paths give the same frames in the Linux, Win32 and Win64 builds;
#   7. the Windows zip of each architecture (scripts/windows_zip_check.sh): its content
#      (the Python package and the .NET assembly too), the consumer project and the
#      example built from it alone (and run, also on the zip's machine description),
#      and the zip's korva3.exe run (demo, G-code with its machine file).
# What runs under Wine depends on the machine: a tiny 32-bit and 64-bit program are run
# first. 64-bit programs run through Wine's 64-bit loader directly (Debian's `wine`
# always starts the 32-bit loader, which fails where the kernel runs 64-bit programs
# only). Where 32-bit programs can't start (a kernel without IA-32, or no 32-bit Wine:
# scripts/deps.sh goes on without it while a mirror syncs), their runs are SKIPPED, each with a line
# saying so, and counted apart: a skipped check is not a passed one. Steps 1-3 need no
# Wine at all. It installs nothing: see scripts/deps.sh or .ci/run for the packages
# (docs/windows.md).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

for tool in cmake ninja objdump python3 i686-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc-posix \
            i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix wine wineserver \
            llvm-dlltool clang lld-link; do
    command -v "$tool" >/dev/null || { echo "windows.sh: $tool not found" >&2; exit 1; }
done
# Wine's loaders: 64-bit programs go to the 64-bit one itself; 32-bit ones to `wine`.
wine64=${KORVA_WINE64:-}
for candidate in /usr/lib/wine/wine64 /usr/lib64/wine/wine64 "$(command -v wine64 || true)"; do
    [ -z "$wine64" ] && [ -n "$candidate" ] && [ -x "$candidate" ] && wine64=$candidate
done
[ -n "$wine64" ] || { echo "windows.sh: Wine's 64-bit loader (wine64) not found" >&2; exit 1; }
wine32=${KORVA_WINE32:-wine}
export KORVA_WINE64=$wine64 KORVA_WINE32=$wine32

passed=0
failed=0
skipped=0
ok() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
skip() { skipped=$((skipped + 1)); echo "SKIPPED (not run, not passed): $*"; }

work=$(mktemp -d /tmp/korva-windows.XXXXXX)

# Wine: a prefix of its own, headless, quiet, without Mono/Gecko prompts, made by the
# 64-bit loader (which works on every x86-64 machine) while the DLLs build.
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
finish() {
    wineserver -k 2>/dev/null || true # this prefix's server
    rm -rf "$work"
}
trap finish EXIT
mkdir -p "$WINEPREFIX"
wineserver -p # one server for every Wine run of this script (stopped by finish)
# Where Wine runs 64-bit programs only, its first start now and then fails to load the
# prefix's kernel32 ("status c0000135"); a second start in a fresh prefix goes through.
make_prefix() {
    "$wine64" wineboot -i >>"$work/wineboot.log" 2>&1 && return 0
    echo "windows.sh: wineboot failed once; again in a fresh prefix" >>"$work/wineboot.log"
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX" && wineserver -p &&
        "$wine64" wineboot -i >>"$work/wineboot.log" 2>&1
}
make_prefix &
wineboot_pid=$!

echo "== cross-building for Windows (MinGW-w64) =="
for arch in win32 win64; do
    toolchain=$([ $arch = win32 ] && echo mingw-i686 || echo mingw-x86_64)
    if [ -f build-$arch/CMakeCache.txt ]; then
        cmake -S . -B build-$arch >/dev/null
    else
        cmake -S . -B build-$arch -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/$toolchain.cmake \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    if ! cmake --build build-$arch -j "$jobs" >"$work/build-$arch.log" 2>&1; then
        cat "$work/build-$arch.log"
        echo "windows.sh: build-$arch failed" >&2
        exit 1
    fi
    grep -v '^\[' "$work/build-$arch.log" || true
    if grep -q 'warning:' "$work/build-$arch.log"; then
        fail "build-$arch has compiler warnings"
    else
        ok "build-$arch built without warnings"
    fi
done

echo "== export tables, imports, the 32-bit calling convention (no Wine) =="
# The CTest tests labelled "static" (tests/windows/CMakeLists.txt), one at a time: they
# read the built DLLs with objdump on this machine and run nothing under Wine.
for arch in win32 win64; do
    tests=$(ctest --test-dir build-$arch -N -L static | sed -n 's/^ *Test *#[0-9]*: //p')
    [ -n "$tests" ] || fail "build-$arch has no static tests (objdump or python3 not found?)"
    for test in $tests; do
        out=$(ctest --test-dir build-$arch -R "^$test\$" -V 2>&1) && result=ok || result=fail
        $result "build-$arch $test"
        sed -n 's/^[0-9]*: //p' <<<"$out" |
            grep -v '^\(Test command\|Test timeout\|Working Directory\|Environment\)' |
            sed 's/^/    /'
        [ $result = ok ] || tail -n 3 <<<"$out"
    done
done

wait "$wineboot_pid" || { cat "$work/wineboot.log"; echo "windows.sh: wineboot failed" >&2; exit 1; }

echo "== what this machine runs =="
# A tiny program of each architecture, run as the checks below run theirs.
printf '#include <stdio.h>\nint main(void) { printf("probe ran\\n"); return 0; }\n' >"$work/probe.c"
i686-w64-mingw32-gcc-posix -o "$work/probe32.exe" "$work/probe.c"
x86_64-w64-mingw32-gcc-posix -o "$work/probe64.exe" "$work/probe.c"
runs() { "$@" 2>"$work/probe.err" | tr -d '\r' | grep -q -x 'probe ran'; }
if runs "$wine64" "$work/probe64.exe"; then
    can64=1
    ok "64-bit Windows programs run ($wine64)"
else
    can64=0
    fail "64-bit Windows programs do not run through $wine64: $(head -c 300 "$work/probe.err")"
fi
why32=""
if runs "$wine32" "$work/probe32.exe"; then
    can32=1
    ok "32-bit Windows programs run ($wine32)"
else
    can32=0
    # Why, in the words a reader can act on: no IA-32 in this kernel, or no 32-bit Wine.
    if ! /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
        why32="this kernel does not run 32-bit programs"
    elif [ "$(dpkg-query -W -f='${db:Status-Status}' wine32:i386 2>/dev/null || true)" != installed ]; then
        why32="wine32:i386 is not installed (scripts/deps.sh could not install it)"
    else
        why32="$wine32 said: $(head -c 200 "$work/probe.err" | tr '\n' ' ')"
    fi
    echo "note: 32-bit Windows programs do not start here ($why32): every 32-bit run below is skipped"
fi

for arch in win32 win64; do
    echo "== tests under Wine: $arch =="
    if [ $arch = win32 ] && [ $can32 = 0 ]; then
        skip "ctest in build-win32 (the test suite, exports, backend and example as 32-bit programs): 32-bit Windows programs do not start here ($why32)"
    elif ctest --test-dir build-$arch -LE static --output-on-failure --timeout 600; then
        ok "ctest in build-$arch"
    else
        fail "ctest in build-$arch"
    fi
done

echo "== MSVC import libraries (clang in MSVC mode, lld-link) =="
for arch in win32 win64; do
    if [ $arch = win32 ]; then
        target=i686-pc-windows-msvc machine=i386 kill_at=-k exit_process=ExitProcess@4 link_machine=x86
        run=$([ $can32 = 1 ] && echo "$wine32" || true)
    else
        target=x86_64-pc-windows-msvc machine=i386:x86-64 kill_at= exit_process=ExitProcess link_machine=x64
        run=$wine64
    fi
    dir=$work/msvc-$arch
    mkdir -p "$dir"
    printf 'LIBRARY kernel32.dll\nEXPORTS\n    %s\n' $exit_process >"$dir/kernel32.def"
    if ! { llvm-dlltool -m $machine $kill_at -d "$dir/kernel32.def" -l "$dir/kernel32.lib" &&
        clang --target=$target -ffreestanding -fno-builtin -Os -Wall -Wextra -Werror -Iinclude \
            -c tests/windows/msvc_lib_check.c -o "$dir/check.obj" &&
        lld-link /nologo /entry:start /subsystem:console /nodefaultlib /machine:$link_machine \
            /out:"$dir/msvc_lib_check.exe" "$dir/check.obj" build-$arch/bin/korva32sim.lib \
            "$dir/kernel32.lib" &&
        cp build-$arch/bin/korva32sim.dll "$dir/"; }; then
        fail "$arch: a program in MSVC mode does not link against korva32sim.lib"
    elif [ -z "$run" ]; then
        ok "$arch: a program in MSVC mode links against korva32sim.lib"
        skip "$arch: running that program: 32-bit Windows programs do not start here ($why32)"
    elif "$run" "$dir/msvc_lib_check.exe"; then
        ok "$arch: an MSVC-linked program calls korva32sim.dll through korva32sim.lib"
    else
        fail "$arch: MSVC import library check (exit code $?)"
    fi
done

echo "== the same frames in every build =="
linux_build=${KORVA_LINUX_BUILD:-build} # scripts/test.sh's build, when it ran first
cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$linux_build" --target korva_frames_dump >/dev/null
"$linux_build"/tests/korva_frames_dump >"$work/frames-linux.txt" 2>/dev/null
frames=$(grep -c '^55AA' "$work/frames-linux.txt" || true)
grep -v '^state' "$work/frames-linux.txt" >"$work/sent-linux.txt"
# The frames (and path headers) must be equal; the "state" lines (the interpolation's
# doubles after each path, bit for bit) are compared for information: the C libraries'
# sin, cos, atan and asin may differ in the last bit between systems.
for arch in win64 win32; do
    if [ $arch = win32 ] && [ $can32 = 0 ]; then
        skip "win32 frames against Linux's: 32-bit Windows programs do not start here ($why32)"
        continue
    fi
    run=$([ $arch = win32 ] && echo "$wine32" || echo "$wine64")
    "$run" build-$arch/bin/korva_frames_dump.exe 2>/dev/null | tr -d '\r' >"$work/frames-$arch.txt"
    grep -v '^state' "$work/frames-$arch.txt" >"$work/sent-$arch.txt"
    if [ "$frames" -gt 10000 ] && cmp -s "$work/sent-linux.txt" "$work/sent-$arch.txt"; then
        ok "$arch sends the same $frames frames as Linux"
    else
        fail "$arch frames differ from Linux:"
        diff "$work/sent-linux.txt" "$work/sent-$arch.txt" | head -20 || true
    fi
    states=$(diff <(grep '^state' "$work/frames-linux.txt") <(grep '^state' "$work/frames-$arch.txt") |
        grep -c '^<' || true)
    echo "note: $arch: $states of $(grep -c '^state' "$work/frames-linux.txt") paths end with doubles that differ in the last bits from Linux's"
done
# The control: the same paths computed in the x87 unit must send other frames.
if [ $can32 = 0 ]; then
    skip "the x87 control (a 32-bit build without SSE2 must send other frames): 32-bit Windows programs do not start here ($why32)"
else
    "$wine32" build-win32/bin/korva_frames_dump_x87.exe 2>/dev/null | tr -d '\r' |
        grep -v '^state' >"$work/sent-x87.txt"
    drift=$(diff "$work/sent-linux.txt" "$work/sent-x87.txt" | grep -c '^>' || true)
    if [ "$drift" -gt 0 ]; then
        ok "the check sees x87 arithmetic: a 32-bit build without SSE2 sends $drift other frames"
    else
        fail "an x87 build sends the same frames: the path set does not catch the drift"
    fi
fi

echo "== the Windows zips, used as a Windows developer would =="
for arch in win32 win64; do
    runs=$([ $arch = win32 ] && echo $can32 || echo $can64)
    if ./scripts/windows_zip_check.sh $arch "$runs"; then
        ok "the $arch zip holds what a Windows developer needs and builds the consumer"
    else
        fail "the $arch zip (scripts/windows_zip_check.sh $arch $runs)"
    fi
    [ "$runs" = 1 ] || skip "running the programs built from the $arch zip: $arch Windows programs do not start here${why32:+ ($why32)}"
done

echo "windows: $passed passed, $failed failed, $skipped skipped"
[ "$skipped" -eq 0 ] || echo "windows: $skipped checks were skipped on this machine: they did not run, so they did not pass"
[ "$failed" -eq 0 ]
