#!/usr/bin/env bash
# Installs the library and uses it as a separate project would (called by test.sh):
#   1. a build as a user without GoogleTest makes it (tests off, said so), prefix /usr;
#   2. `cmake --install --prefix P` into a fresh prefix: libraries with SONAME links,
#      headers, CMake package, pkg-config files, the tool;
#   3. the consumer project (tests/consumer, C and C++) built against P by
#      find_package(korva32) and by pkg-config alone, and as a subproject
#      (add_subdirectory: the libraries only); each runs the worked example;
#   4. the Debian packages (cpack): names, dependencies, files; then installed with
#      apt-get (as root or with sudo, else skipped), the consumer built against /usr by
#      find_package and pkg-config and run, and the packages removed again.
# The Windows zips are checked by scripts/windows_zip_check.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
build=build-pkg
src=$PWD

passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }

work=$(mktemp -d /tmp/korva-package.XXXXXX)
installed_debs=0
as_root=()
finish() {
    if [ "$installed_debs" = 1 ]; then
        "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
            apt-get remove -y -qq --purge korva3 libkorva32-dev libkorva32 >/dev/null || true
    fi
    rm -rf "$work"
}
trap finish EXIT

# The worked example, as every consumer program prints it.
want="slices (1,1,0) (1,2,0) (1,1,0): ok"
run_consumers() { # label, programs...
    local label=$1 out
    shift
    for prog in "$@"; do
        if out=$("$prog" 2>&1) && echo "$out" | grep -q "$want"; then
            ok "$label: $(basename "$prog"): $out"
        else
            fail "$label: $(basename "$prog"): $out"
        fi
    done
}

echo "== a build without GoogleTest, installed into a fresh prefix =="
cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$work/configure.log"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $build/CMakeCache.txt)
major=${version%%.*}
if grep -q "GoogleTest not found: tests are off" "$work/configure.log"; then
    ok "without GoogleTest: configure says tests are off"
else
    fail "without GoogleTest: configure does not say that tests are off"
fi
cmake --build $build -j "$jobs" >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
if [ ! -e $build/tests/korva_tests ] && [ -x $build/tools/korva3/korva3 ]; then
    ok "without GoogleTest: libraries and tool built, no test program"
else
    fail "without GoogleTest: unexpected build (korva_tests built, or korva3 missing)"
fi

prefix=$work/prefix
cmake --install $build --prefix "$prefix" >/dev/null
libdir=$(cd "$prefix" && ls -d lib/*/libkorva32.so 2>/dev/null | head -1 | xargs -r dirname)
libdir=${libdir:-lib}
missing=""
for f in "$libdir/libkorva32.so.$version" "$libdir/libkorva32.so.$major" "$libdir/libkorva32.so" \
         "$libdir/libkorva32sim.so.$version" "$libdir/libkorva32sim.so.$major" "$libdir/libkorva32sim.so" \
         include/korva3.h include/korva3_sim.h bin/korva3 \
         "$libdir/cmake/korva32/korva32Config.cmake" "$libdir/cmake/korva32/korva32ConfigVersion.cmake" \
         "$libdir/cmake/korva32/korva32Targets.cmake" \
         "$libdir/pkgconfig/korva32.pc" "$libdir/pkgconfig/korva32sim.pc"; do
    [ -e "$prefix/$f" ] || missing="$missing $f"
done
if [ -z "$missing" ]; then ok "installed into a prefix: libraries, headers, tool, CMake and pkg-config files"
else fail "not installed:$missing"; fi
for lib in korva32 korva32sim; do
    soname=$(objdump -p "$prefix/$libdir/lib$lib.so.$version" | awk '/SONAME/ {print $2}')
    if [ "$soname" = "lib$lib.so.$major" ]; then ok "lib$lib.so has SONAME $soname"
    else fail "lib$lib.so has SONAME '$soname', not lib$lib.so.$major"; fi
done
if [ "$("$prefix/bin/korva3" --version)" = "korva3 $version" ]; then ok "installed korva3 --version: korva3 $version"
else fail "installed korva3 --version: $("$prefix/bin/korva3" --version 2>&1)"; fi

echo "== a separate project: find_package, pkg-config, subproject =="
consumer_package() { # label, build dir, cmake arguments...
    local label=$1 dir=$2
    shift 2
    if cmake -S tests/consumer -B "$dir" -G Ninja "$@" >"$dir.log" 2>&1 &&
        cmake --build "$dir" -j "$jobs" >>"$dir.log" 2>&1; then
        run_consumers "$label" "$dir/consumer_c" "$dir/consumer_cpp"
    else
        cat "$dir.log"
        fail "$label: the consumer project does not build"
    fi
}
consumer_pkgconfig() { # label, build dir (PKG_CONFIG_PATH set by the caller)
    local label=$1 dir=$2 mod
    mod=$(pkg-config --modversion korva32sim 2>&1) || true
    [ "$mod" = "$version" ] || fail "$label: pkg-config says korva32sim '$mod', not $version"
    mkdir -p "$dir"
    # shellcheck disable=SC2046
    if cc -std=c99 -Wall -Wextra -Werror tests/consumer/consumer.c \
            $(pkg-config --cflags --libs korva32sim) -o "$dir/consumer_c" &&
        c++ -std=c++17 -Wall -Wextra -Werror tests/consumer/consumer.cpp \
            $(pkg-config --cflags --libs korva32sim) -o "$dir/consumer_cpp" &&
        cc -std=c99 -Wall -Wextra -Werror tests/consumer/consumer_card.c \
            $(pkg-config --cflags --libs korva32) -o "$dir/consumer_card"; then
        LD_LIBRARY_PATH=$(pkg-config --variable=libdir korva32sim) \
            run_consumers "$label" "$dir/consumer_c" "$dir/consumer_cpp"
    else
        fail "$label: cc/c++ with pkg-config korva32sim"
    fi
}
consumer_package "find_package, prefix" "$work/c-package" -DCMAKE_PREFIX_PATH="$prefix"
PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" consumer_pkgconfig "pkg-config, prefix" "$work/c-pc"
consumer_package "subproject" "$work/c-sub" -DKORVA_CONSUMER_USE=subproject -DKORVA_SOURCE_DIR="$src"
if [ -d "$work/c-sub/korva32" ] && [ ! -e "$work/c-sub/korva32/tools" ] &&
    [ ! -e "$work/c-sub/korva32/tests" ] && [ ! -e "$work/c-sub/korva32/examples" ]; then
    ok "subproject: only the libraries are built (no tests, tool, examples)"
else
    fail "subproject: more than the libraries is built"
fi

echo "== Debian packages =="
rm -rf $build/packages
(cd $build && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
debs=()
for name in libkorva32 libkorva32-dev korva3; do
    deb=$build/packages/${name}_${version}_$arch.deb
    if [ ! -f "$deb" ]; then fail "no $deb"; continue; fi
    debs+=("./$deb")
    dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' | grep -v '/$' | sort >"$work/$name.files"
    depends=$(dpkg-deb -f "$deb" Depends)
    case $name in
        libkorva32) expect_files="^usr/lib/[^/]*/?libkorva32(sim)?\\.so\\.$major(\\.[0-9]+\\.[0-9]+)?$"
                    expect_count=4 expect_dep="libstdc++6" ;;
        libkorva32-dev) expect_files="^usr/(include/korva3(_sim)?\\.h|lib/[^/]*/?(libkorva32(sim)?\\.so|cmake/korva32/korva32[A-Za-z-]*\\.cmake|pkgconfig/korva32(sim)?\\.pc))$"
                        expect_count=10 expect_dep="libkorva32 (= $version)" ;;
        korva3) expect_files="^usr/bin/korva3$" expect_count=1 expect_dep="libkorva32 (= $version)" ;;
    esac
    others=$(grep -v -E "$expect_files" "$work/$name.files" || true)
    count=$(wc -l <"$work/$name.files")
    if [ -z "$others" ] && [ "$count" -eq "$expect_count" ] && [[ $depends == *"$expect_dep"* ]]; then
        ok "$(basename "$deb"): $count files; Depends: $depends"
    else
        fail "$(basename "$deb"): files ($count, want $expect_count): $(tr '\n' ' ' <"$work/$name.files"); others: $others; Depends: $depends"
    fi
done

if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null; then
    echo "skipped: installing the .deb files (needs root or sudo)"
elif dpkg-query -W -f='${db:Status-Status}' libkorva32 2>/dev/null | grep -qx installed; then
    echo "skipped: installing the .deb files (libkorva32 is installed on this machine already)"
elif [ ${#debs[@]} -eq 3 ]; then
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    installed_debs=1
    if "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends "${debs[@]}" >"$work/apt.log" 2>&1; then
        ok "apt-get install ./libkorva32_*.deb ./libkorva32-dev_*.deb ./korva3_*.deb"
        consumer_package "find_package, /usr (packages)" "$work/c-deb-package"
        grep -q "korva32 $version from /usr/" "$work/c-deb-package.log" ||
            fail "find_package did not take the packages' files: $(grep 'korva32 ' "$work/c-deb-package.log")"
        PKG_CONFIG_PATH= consumer_pkgconfig "pkg-config, /usr (packages)" "$work/c-deb-pc"
        if [ "$(korva3 --version 2>&1)" = "korva3 $version" ]; then ok "packaged korva3 --version: korva3 $version"
        else fail "packaged korva3 --version: $(korva3 --version 2>&1)"; fi
    else
        cat "$work/apt.log"
        fail "apt-get install of the .deb files"
    fi
    if "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
            apt-get remove -y -qq --purge korva3 libkorva32-dev libkorva32 >"$work/apt.log" 2>&1 &&
        ! dpkg-query -W -f='${db:Status-Status}\n' libkorva32 libkorva32-dev korva3 2>/dev/null |
            grep -qx installed; then
        installed_debs=0
        ok "the packages removed again"
    else
        cat "$work/apt.log"
        fail "removing the packages"
    fi
fi

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
