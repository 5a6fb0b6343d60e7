#!/usr/bin/env bash
# Builds korva32.dll and korva32sim.dll for 32- and 64-bit Windows with MinGW-w64 and
# proves them under Wine:
#   1. both architectures cross-built (build-win32, build-win64), warning-free;
#   2. the export table of each of the four DLLs, read back with objdump -p, against
#      tests/windows/exports.tsv: names, ordinals, the one alias pair, nothing else; and
#      each DLL imports system DLLs only;
#   3. ctest in each build, under Wine: the whole test suite against korva32sim.dll,
#      every export through GetProcAddress by name and by ordinal (stack checked), the
#      Windows backend, korva32.dll as Windows 98, NT 4.0, 2000, XP and 7 report
#      themselves, and the example program;
#   4. the MSVC import libraries (korva32sim.lib): a program compiled in MSVC mode
#      (clang) and linked by lld-link against them runs;
#   5. the same paths give the same frames in the Linux, Win32 and Win64 builds.
# It installs nothing: see .ci/run for the packages (README: "Windows and Linux targets").
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

for tool in cmake ninja objdump i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix \
            wine wineboot wineserver llvm-dlltool clang lld-link; do
    command -v "$tool" >/dev/null || { echo "windows.sh: $tool not found" >&2; exit 1; }
done

passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }

work=$(mktemp -d /tmp/korva-windows.XXXXXX)

# Wine: a prefix of its own, headless, quiet, without Mono/Gecko prompts. The prefix is
# made while the DLLs build (its first start takes some ten seconds).
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
finish() {
    wineserver -k 2>/dev/null || true # this prefix's server
    rm -rf "$work"
}
trap finish EXIT
mkdir -p "$WINEPREFIX"
wineserver -p # one server for every Wine run of this script (stopped by finish)
wineboot -i >"$work/wineboot.log" 2>&1 &
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

echo "== export tables and imports =="
grep -o 'KORVA3_CALL[[:space:]]\+KSIM_[A-Z0-9_]\+' include/korva3_sim.h | awk '{print $2}' \
    >"$work/ksim_names"
# Prints "ok" or the differences between a DLL's export table and the expected one:
# every KORVA3_ name of exports.tsv at its ordinal, KORVA3_STOP_ALL and KORVA3_EMG_STOP
# at one address and no other two names at one, every KSIM_ name of korva3_sim.h when
# the DLL is the simulator's, no other name and no export by ordinal only.
check_exports() { # dll, sim (0/1)
    objdump -p "$1" | awk -v sim="$2" -v tsv=tests/windows/exports.tsv \
        -v ksim="$work/ksim_names" '
        BEGIN {
            while ((getline line < tsv) > 0)
                if (line ~ /^KORVA3_/) { split(line, f, "\t"); want[f[1]] = f[2] }
            if (sim) while ((getline name < ksim) > 0) want[name] = "any"
        }
        /^Export Address Table -- Ordinal Base/ { table = 1; next }
        /^\[Ordinal\/Name Pointer\] Table/ { table = 2; next }
        table && /^$/ { table = 0 }
        table == 1 && /Export RVA/ {
            line = $0; gsub(/[][+]/, " ", line); split(line, f, " ")
            ordinal[f[1]] = f[3]; rva[f[1]] = f[4]
            if (f[4] != "0") entries++
        }
        table == 1 && /Forwarder RVA/ { print "forwarded export: " $0 }
        table == 2 && /^\t\[/ {
            line = $0; gsub(/[][]/, " ", line); split(line, f, " ")
            name = f[2]; got[name] = ordinal[f[1]]; at[name] = rva[f[1]]; names++
        }
        END {
            for (n in want) {
                if (!(n in got)) print "missing: " n
                else if (want[n] != "any" && got[n] != want[n])
                    print n " at ordinal " got[n] ", not " want[n]
            }
            for (n in got) {
                if (!(n in want)) print "extra export: " n
                if (at[n] in owner) shared[at[n]] = shared[at[n]] " " n; else owner[at[n]] = n
            }
            for (a in shared) {
                pair = owner[a] shared[a]
                if (pair != "KORVA3_EMG_STOP KORVA3_STOP_ALL" && pair != "KORVA3_STOP_ALL KORVA3_EMG_STOP")
                    print "one address for " pair
            }
            if (at["KORVA3_STOP_ALL"] != at["KORVA3_EMG_STOP"])
                print "KORVA3_STOP_ALL and KORVA3_EMG_STOP at different addresses"
            if (entries != names) print entries " exported addresses for " names " names"
            if (names == 0) print "no export table"
        }'
}
for arch in win32 win64; do
    for dll in korva32 korva32sim; do
        file=build-$arch/bin/$dll.dll
        problems=$(check_exports "$file" $([ $dll = korva32sim ] && echo 1 || echo 0))
        if [ -z "$problems" ]; then
            count=$(objdump -p "$file" | awk '/^\[Ordinal\/Name Pointer\] Table/ {t = 1; next}
                                            t && /^$/ {t = 0} t {n++} END {print n}')
            ok "$file exports exactly the table ($count names)"
        else
            fail "$file export table:"$'\n'"$problems"
        fi
        imports=$(objdump -p "$file" | awk '/DLL Name:/ {print toupper($3)}' | sort -u | tr '\n' ' ')
        others=$(echo "$imports" | tr ' ' '\n' |
            grep -v -x -E 'KERNEL32.DLL|USER32.DLL|MSVCRT.DLL|SETUPAPI.DLL|WINMM.DLL|ADVAPI32.DLL|^$' || true)
        if [ -z "$others" ]; then ok "$file imports system DLLs only: $imports"; else fail "$file imports $others"; fi
    done
done

wait "$wineboot_pid" || { cat "$work/wineboot.log"; echo "windows.sh: wineboot failed" >&2; exit 1; }

for arch in win32 win64; do
    echo "== tests under Wine: $arch =="
    if ctest --test-dir build-$arch --output-on-failure --timeout 600; then
        ok "ctest in build-$arch"
    else
        fail "ctest in build-$arch"
    fi
done

echo "== MSVC import libraries (clang in MSVC mode, lld-link) =="
for arch in win32 win64; do
    if [ $arch = win32 ]; then
        target=i686-pc-windows-msvc machine=i386 kill_at=-k exit_process=ExitProcess@4 link_machine=x86
    else
        target=x86_64-pc-windows-msvc machine=i386:x86-64 kill_at= exit_process=ExitProcess link_machine=x64
    fi
    dir=$work/msvc-$arch
    mkdir -p "$dir"
    printf 'LIBRARY kernel32.dll\nEXPORTS\n    %s\n' $exit_process >"$dir/kernel32.def"
    if llvm-dlltool -m $machine $kill_at -d "$dir/kernel32.def" -l "$dir/kernel32.lib" &&
        clang --target=$target -ffreestanding -fno-builtin -Os -Wall -Wextra -Werror -Iinclude \
            -c tests/windows/msvc_lib_check.c -o "$dir/check.obj" &&
        lld-link /nologo /entry:start /subsystem:console /nodefaultlib /machine:$link_machine \
            /out:"$dir/msvc_lib_check.exe" "$dir/check.obj" build-$arch/bin/korva32sim.lib \
            "$dir/kernel32.lib" &&
        cp build-$arch/bin/korva32sim.dll "$dir/" &&
        wine "$dir/msvc_lib_check.exe"; then
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
for arch in win32 win64; do
    wine build-$arch/bin/korva_frames_dump.exe 2>/dev/null | tr -d '\r' >"$work/frames-$arch.txt"
done
# The frames (and path headers) must be equal; the "state" lines (the interpolation's
# doubles after each path, bit for bit) are compared for information: the C libraries'
# sin, cos, atan and asin may differ in the last bit between systems.
frames=$(grep -c '^55AA' "$work/frames-linux.txt" || true)
grep -v '^state' "$work/frames-linux.txt" >"$work/sent-linux.txt"
for arch in win32 win64; do
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
wine build-win32/bin/korva_frames_dump_x87.exe 2>/dev/null | tr -d '\r' | grep -v '^state' >"$work/sent-x87.txt"
drift=$(diff "$work/sent-linux.txt" "$work/sent-x87.txt" | grep -c '^>' || true)
if [ "$drift" -gt 0 ]; then
    ok "the check sees x87 arithmetic: a 32-bit build without SSE2 sends $drift other frames"
else
    fail "an x87 build sends the same frames: the path set does not catch the drift"
fi

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
