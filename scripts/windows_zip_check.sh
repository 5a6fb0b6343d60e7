#!/usr/bin/env bash
# Usage: scripts/windows_zip_check.sh ARCH RUN     (ARCH: win32 or win64; RUN: 1 or 0)
#
# Makes the Windows zip of one architecture (cpack in build-ARCH, cross-built with
# MinGW-w64 if it is not there yet) and uses it as a Windows developer would:
#   1. it holds the DLLs, both kinds of import libraries, the headers, the CMake and
#      pkg-config files, README-windows.txt, the examples (C, machine description,
#      G-code, Python), korva3.exe, the Python package (every file of python/korva3,
#      the DLLs in its folder under the names its loader asks for on Windows) and the
#      .NET assembly Korva.dll (a C# program compiles against it, where mcs is found);
#   2. its korva32.dll exports exactly the 52 functions, and every DLL carries the
#      project's version in its version resource;
#   3. the consumer program (tests/consumer, C and C++) and the example are built
#      against the unpacked zip alone with the MinGW cross compiler, also through its
#      pkg-config file and its CMake package; the MSVC import libraries name every
#      function;
#   4. RUN=1: they run under Wine: the worked example on the virtual card
#      (korva32sim.dll), the example on korva32sim.dll named korva32.dll (with the
#      zip's machine description beside it: its trace must name two cards), and
#      korva3.exe from the zip (the demo, and a G-code program checked with its machine
#      file). RUN=0 (a machine that cannot run programs of this architecture): reported
#      as skipped.
# 64-bit programs run with ${KORVA_WINE64:-/usr/lib/wine/wine64}, 32-bit ones with
# ${KORVA_WINE32:-wine}. WINEPREFIX is used if set, else a temporary one is made.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-}
run=${2:-}
case "$arch" in
    win32) triple=i686-w64-mingw32 toolchain=mingw-i686 wine=${KORVA_WINE32:-wine} ;;
    win64) triple=x86_64-w64-mingw32 toolchain=mingw-x86_64 wine=${KORVA_WINE64:-/usr/lib/wine/wine64} ;;
    *) echo "usage: $0 win32|win64 RUN(1|0)" >&2; exit 2 ;;
esac
[ "$run" = 0 ] || [ "$run" = 1 ] || { echo "usage: $0 win32|win64 RUN(1|0)" >&2; exit 2; }
jobs=$(nproc 2>/dev/null || echo 2)
build=build-$arch

passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok: $arch zip: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $arch zip: $*"; }

work=$(mktemp -d /tmp/korva-zip-$arch.XXXXXX)
own_prefix=0
finish() {
    if [ "$own_prefix" = 1 ]; then WINEPREFIX="$work/wine" wineserver -k 2>/dev/null || true; fi
    rm -rf "$work"
}
trap finish EXIT

echo "== the Windows zip ($arch) =="
if [ ! -f $build/CMakeCache.txt ]; then
    cmake -S . -B $build -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/$toolchain.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
targets="korva32 korva32sim korva3"
grep -q '^KORVA_MCS:FILEPATH=/' $build/CMakeCache.txt && targets="$targets korva_dotnet_assembly"
cmake --build $build -j "$jobs" --target $targets >"$work/build.log" 2>&1 ||
    { cat "$work/build.log"; echo "windows_zip_check: $build failed" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $build/CMakeCache.txt)
rm -f $build/packages/korva32-*-$arch.zip
# strip stamps each DLL it writes with the time unless SOURCE_DATE_EPOCH names one: with
# the last commit's time the zip's two copies of a DLL (bin/, python/korva3/) are equal
# even when their strips fall in different seconds, and the zip is the same each time.
epoch=$(git -C "$(dirname "$0")/.." log -1 --format=%ct 2>/dev/null || echo 0)
(cd $build && SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$epoch} cpack -G ZIP >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; echo "windows_zip_check: cpack failed" >&2; exit 1; }
zip=$build/packages/korva32-$version-$arch.zip
[ -f "$zip" ] || { echo "windows_zip_check: no $zip" >&2; exit 1; }
echo "$zip: $(du -k "$zip" | cut -f1) KiB"
cmake -E chdir "$work" cmake -E tar xf "$PWD/$zip"
root=$work/korva32-$version-$arch

# 1. What a Windows developer needs.
missing=""
for f in bin/korva32.dll bin/korva32sim.dll lib/libkorva32.dll.a lib/libkorva32sim.dll.a \
         lib/korva32.lib lib/korva32sim.lib include/korva3.h include/korva3_sim.h \
         lib/cmake/korva32/korva32Config.cmake lib/cmake/korva32/korva32ConfigVersion.cmake \
         lib/pkgconfig/korva32.pc lib/pkgconfig/korva32sim.pc README-windows.txt \
         examples/korva_app.c examples/korva32-machine.toml examples/gcode/bracket.ngc \
         examples/gcode/machine.toml examples/python/first_path.py bin/korva3.exe \
         python/pyproject.toml dotnet/Korva.dll dotnet/Korva3SimNative.cs; do
    [ -s "$root/$f" ] || missing="$missing $f"
done
if [ -z "$missing" ]; then ok "holds DLLs, import libraries, headers, package files, README, examples, korva3.exe, Korva.dll"
else fail "missing:$missing"; fi

# The Python package: every file of the source's, and the DLLs where its loader looks
# first on Windows (its own folder, under its Windows file names), the same as bin's.
missing=$(cd python && find korva3 \( -name '*.py' -o -name py.typed \) -not -path '*/__pycache__/*' |
    while read -r f; do cmp -s "$f" "$root/python/$f" || echo " $f"; done)
dlls=$(PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$root/python" python3 -c '
import os, sys
from korva3 import _loader
for kind in ("hardware", "sim"):
    print(os.path.join(_loader.PACKAGE_DIR, _loader.library_file_name(kind, "win32")))' 2>&1) ||
    missing="$missing (korva3._loader: $dlls)"
for dll in $dlls; do
    cmp -s "$dll" "$root/bin/$(basename "$dll")" || missing="$missing $dll"
done
if [ -z "$missing" ] && [ "$(echo $dlls | wc -w)" = 2 ]; then
    ok "python/korva3 is the package, with $(cd "$root/python/korva3" && echo korva32*.dll) where its loader looks"
else
    fail "python/korva3 in the zip: missing or different:$missing"
fi

# The .NET assembly: a C# program compiles against it and sees the library's name.
if ! command -v mcs >/dev/null; then
    echo "note: $arch zip: no mcs here, Korva.dll not compiled against"
elif printf 'static class P { static void Main() { System.Console.WriteLine(Korva.Korva3Native.Library); } }\n' \
        >"$work/p.cs" && mcs -nologo -warnaserror -r:"$root/dotnet/Korva.dll" -out:"$work/p.exe" "$work/p.cs" &&
    [ "$(mono "$work/p.exe" 2>&1)" = korva32 ]; then
    ok "dotnet/Korva.dll: a C# program compiles against it (library korva32)"
else
    fail "dotnet/Korva.dll is not an assembly a C# program compiles against"
fi
if grep -q "KORVA32 $version for Windows" "$root/README-windows.txt"; then ok "README-windows.txt names version $version"
else fail "README-windows.txt does not name version $version"; fi

# The system DLLs README-windows.txt names are those the two DLLs import.
said=$(sed -n 's/^Both DLLs import only system DLLs (\([^)]*\)).*/\1/p' "$root/README-windows.txt" |
    tr -d ' \r' | tr ',' '\n' | tr a-z A-Z | sort -u | tr '\n' ' ')
imported=$(for dll in korva32 korva32sim; do objdump -p "$root/bin/$dll.dll"; done |
    sed -n 's/^\s*DLL Name: \(.*\)\.[dD][lL][lL]\r*$/\1/p' | tr a-z A-Z | sort -u | tr '\n' ' ')
if [ -n "$said" ] && [ "$said" = "$imported" ]; then ok "README-windows.txt names the DLLs' imports: $said"
else fail "README-windows.txt names '$said'; the DLLs import '$imported'"; fi

# 2. The export table and the version resources.
exports=$(objdump -p "$root/bin/korva32.dll" | awk '/^\[Ordinal\/Name Pointer\] Table/ {t = 1; next}
    t && /^$/ {t = 0} t && /KORVA3_/ {n++} t && !/KORVA3_/ {other++} END {print n + 0, other + 0}')
if [ "$exports" = "52 0" ]; then ok "korva32.dll exports the 52 functions and nothing else"
else fail "korva32.dll exports (KORVA3_ names, others): $exports"; fi
for dll in korva32 korva32sim; do
    strings -el "$root/bin/$dll.dll" >"$work/$dll.strings"
    if grep -qx FileVersion "$work/$dll.strings" && grep -qx ProductVersion "$work/$dll.strings" &&
        grep -qx KORVA32 "$work/$dll.strings" && [ "$(grep -cx "$version" "$work/$dll.strings")" -ge 2 ] &&
        grep -qx "$dll.dll" "$work/$dll.strings"; then
        ok "$dll.dll carries version $version in its version resource"
    else
        fail "$dll.dll has no version resource for $version"
    fi
done

# 3. Built against the zip alone.
for lib in korva32 korva32sim; do
    n=$(llvm-nm "$root/lib/$lib.lib" 2>/dev/null | grep -cE ' __imp__?KORVA3_' || true)
    if [ "$n" -eq 52 ]; then ok "$lib.lib (MSVC) imports the 52 functions"
    else fail "$lib.lib (MSVC) imports $n KORVA3_ functions, not 52"; fi
done
cc=$triple-gcc-posix
cxx=$triple-g++-posix
pc_flags=$(PKG_CONFIG_LIBDIR="$root/lib/pkgconfig" pkg-config --cflags --libs korva32sim)
mkdir -p "$work/run"
if $cc -std=c99 -Wall -Wextra -Werror tests/consumer/consumer.c -I "$root/include" \
        -L "$root/lib" -lkorva32sim -o "$work/run/consumer_c.exe" &&
    $cxx -std=c++17 -Wall -Wextra -Werror tests/consumer/consumer.cpp $pc_flags \
        -static -o "$work/run/consumer_cpp.exe" &&
    $cc -std=c99 -Wall -Wextra -Werror "$root/examples/korva_app.c" -I "$root/include" \
        -L "$root/lib" -lkorva32 -o "$work/run/korva_app.exe"; then
    ok "consumer (C: -lkorva32sim, C++: pkg-config korva32sim) and korva_app.c built with $cc"
else
    fail "building against the zip with $cc"
fi

# The zip's CMake package, found by a MinGW-built project (the consumer project).
if cmake -S tests/consumer -B "$work/cmake" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/$toolchain.cmake" \
        -Dkorva32_DIR="$root/lib/cmake/korva32" -DCMAKE_EXE_LINKER_FLAGS=-static \
        >"$work/cmake.log" 2>&1 &&
    cmake --build "$work/cmake" >>"$work/cmake.log" 2>&1 &&
    grep -q "korva32 $version from $root/lib/cmake/korva32" "$work/cmake.log"; then
    ok "the consumer project built with find_package(korva32) from the zip"
    cp "$work/cmake/consumer_c.exe" "$work/run/consumer_cmake_c.exe"
else
    cat "$work/cmake.log"
    fail "the consumer project with find_package(korva32) from the zip"
fi

# 4. Run under Wine.
if [ "$run" = 0 ]; then
    echo "skipped: $arch zip: running the programs (this machine cannot run $arch programs)"
elif [ -f "$work/run/consumer_c.exe" ]; then
    if [ -z "${WINEPREFIX:-}" ]; then
        export WINEPREFIX="$work/wine"
        own_prefix=1
    fi
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY
    cp "$root/bin/korva32sim.dll" "$work/run/"
    for prog in consumer_c consumer_cpp consumer_cmake_c; do
        [ -f "$work/run/$prog.exe" ] || continue
        out=$(cd "$work/run" && "$wine" "$prog.exe" 2>&1 | tr -d '\r') || true
        if echo "$out" | grep -q "slices (1,1,0) (1,2,0) (1,1,0): ok"; then
            ok "$prog.exe under Wine: $(echo "$out" | tail -1)"
        else
            fail "$prog.exe under Wine: $out"
        fi
    done
    mkdir -p "$work/run/virtual"
    cp "$work/run/korva_app.exe" "$work/run/virtual/"
    cp "$root/bin/korva32sim.dll" "$work/run/virtual/korva32.dll"
    out=$(cd "$work/run/virtual" && "$wine" korva_app.exe 2>&1 | tr -d '\r') || true
    if echo "$out" | grep -q "card 0: X 20000, Y 20000"; then
        ok "korva_app.exe from the zip runs on the virtual card under Wine"
    else
        fail "korva_app.exe under Wine: $out"
    fi
    # The same program finds the zip's machine description beside the DLL.
    cp "$root/examples/korva32-machine.toml" "$work/run/virtual/"
    out=$(cd "$work/run/virtual" && "$wine" korva_app.exe 2>&1 | tr -d '\r') || true
    trace=$work/run/virtual/korva32-trace.jsonl
    if echo "$out" | grep -q "card 0: X 20000, Y 20000" && [ -s "$trace" ] &&
        head -1 "$trace" | grep -q '"source":"[^"]*korva32-machine.toml".*"card":1,'; then
        ok "korva_app.exe runs on the two cards of examples/korva32-machine.toml beside the DLL"
    else
        fail "korva_app.exe with korva32-machine.toml beside the DLL: $out $(head -c 300 "$trace" 2>/dev/null)"
    fi
    # korva3.exe from the unpacked zip, korva32sim.dll beside it; in a folder of its own
    # (the demo writes demo.svg where it runs).
    mkdir -p "$work/tool"
    out=$(cd "$work/tool" && "$wine" "$root/bin/korva3.exe" demo --quiet 2>&1 | tr -d '\r') &&
        result=ok || result=fail
    if [ $result = ok ] && echo "$out" | grep -q '^card 0: X -\?[0-9]*  Y -\?[0-9]*  Z -\?[0-9]*$' &&
        [ -s "$work/tool/demo.svg" ]; then
        ok "korva3.exe demo --quiet under Wine: $(echo "$out" | head -1)"
    else
        fail "korva3.exe demo --quiet under Wine: $out"
    fi
    # This build has no panel: its usage says nothing of one.
    out=$("$wine" "$root/bin/korva3.exe" --help 2>&1 | tr -d '\r')
    if echo "$out" | grep -q 'korva3 gcode' && ! echo "$out" | grep -qi 'panel'; then
        ok "korva3.exe --help lists no panel, which this build lacks"
    else
        fail "korva3.exe --help: $(echo "$out" | grep -i panel | head -3)"
    fi
    out=$(cd "$root" && "$wine" bin/korva3.exe gcode examples/gcode/bracket.ngc \
        --machine examples/gcode/machine.toml --check 2>&1 | tr -d '\r') && result=ok || result=fail
    if [ $result = ok ] && echo "$out" | grep -q 'no errors'; then
        ok "korva3.exe gcode --machine --check reads the zip's machine file under Wine"
    else
        fail "korva3.exe gcode with the zip's machine file under Wine: $out"
    fi
fi

echo "windows zip $arch: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
