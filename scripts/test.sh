#!/usr/bin/env bash
# Builds the library and runs every test: the plain build, then the whole suite once
# more under AddressSanitizer + UndefinedBehaviorSanitizer, and once under
# ThreadSanitizer (an emergency stop from a second thread ends a running path); then
# installs and packages the library and uses it as a separate project would
# (scripts/package.sh), and proves the Windows builds (scripts/windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh test # installs what is missing (Debian packages)
jobs=$(nproc 2>/dev/null || echo 2)

run_suite() { # build-dir, extra cmake arguments...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

echo "== tests =="
run_suite build -DKORVA_BUILD_BENCH=ON
echo "== tests under AddressSanitizer + UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    run_suite build-asan -DKORVA_SANITIZE=address,undefined -DKORVA_BUILD_TOOLS=OFF
echo "== tests under ThreadSanitizer =="
TSAN_OPTIONS=halt_on_error=1 \
    run_suite build-tsan -DKORVA_SANITIZE=thread -DKORVA_BUILD_TOOLS=OFF
echo "== fuzzing (short run; FUZZ_SECONDS=3600 for a long one) =="
./scripts/fuzz.sh
echo "== installed, packaged, used by a separate project =="
./scripts/package.sh
echo "== Windows builds under Wine =="
./scripts/windows.sh
