#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for FUZZ_SECONDS (default 30) from its seed
# corpus in fuzz/corpus/. New inputs go to a scratch corpus (build-fuzz/corpus), not
# into the tree. A finding stops the run with the input saved as build-fuzz/crash-*.
#   ./scripts/fuzz.sh                    # the short run of the test command
#   FUZZ_SECONDS=3600 ./scripts/fuzz.sh  # a long run
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
build=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVA_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    -DKORVA_BUILD_FUZZ=ON -DKORVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target status_stream_fuzz job_parser_fuzz
cmake --build "$build" -j 2 --target trace_reader_fuzz gcode_reader_fuzz description_fuzz

for target in status_stream job_parser \
              trace_reader gcode_reader description; do
    scratch="$build/corpus/$target"
    mkdir -p "$scratch"
    echo "== fuzzing $target for $seconds s =="
    log="$build/$target.log"
    status=0
    (cd "$build" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "./fuzz/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
        -max_len=4096 "corpus/$target" "../fuzz/corpus/$target") >"$log" 2>&1 || status=$?
    grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)" "$log" || true
    if [ "$status" -ne 0 ]; then
        grep -E "ERROR|runtime error|SUMMARY|abort|differ|Test unit written" "$log" | head -20
        echo "fuzz: $target found a fault (full log: $log)"
        exit 1
    fi
done

