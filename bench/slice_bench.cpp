/*
 * slice_bench.cpp - host time per interpolation slice (line, circle, arc) over a bus
 * that costs nothing, and the port accesses per slice (26 bytes, each two status reads
 * and one data write: 78).
 *
 * On a real PCI card a port access takes roughly 0.5 to 1 microsecond, so one frame
 * costs 39 to 78 microseconds of bus time; the host's own work per slice should stay
 * below 0.5% of that (0.2 to 0.4 microseconds).
 */
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include "korva3.h"
#include "null_bus.h"
#include "port/platform.h"

namespace {

enum { FRAME_BYTES = 26 };

void setup_card()
{
    static bool done = false;
    if (done)
        return;
    core_process_attach();
    KORVA3_INITIAL();
    if (KORVA3_REGISTRATION(0, 0) != 1) {
        fprintf(stderr, "the null bus's card did not register\n");
        exit(1);
    }
    done = true;
}

/* Runs the path once per iteration; reports host time and port accesses per slice. */
void per_slice(benchmark::State &state, void (*path)())
{
    setup_card();
    const uint64_t accesses = null_bus_accesses;
    const uint64_t bytes = null_bus_data_writes;
    for (auto _ : state)
        path();
    const double slices = (double)(null_bus_data_writes - bytes) / FRAME_BYTES;
    state.SetItemsProcessed((int64_t)slices);
    state.counters["slices_per_path"] = slices / (double)state.iterations();
    state.counters["port_accesses_per_slice"] = (double)(null_bus_accesses - accesses) / slices;
    state.counters["time_per_slice"] = benchmark::Counter(
        slices, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void line_path() { KORVA3_INTP_LINE(0, 800000, 600000, 2040); }
void circle_path() { KORVA3_INTP_CIRCLE(0, 150000, 0, 1, 2040); }
void arc_path() { KORVA3_INTP_ARC(0, 300000, 100000, -200000, 0, 2040); }

void BM_Line(benchmark::State &state) { per_slice(state, line_path); }
void BM_Circle(benchmark::State &state) { per_slice(state, circle_path); }
void BM_Arc(benchmark::State &state) { per_slice(state, arc_path); }

} // namespace

BENCHMARK(BM_Line);
BENCHMARK(BM_Circle);
BENCHMARK(BM_Arc);

BENCHMARK_MAIN();
