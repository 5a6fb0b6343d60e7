/*
 * long_job_bench.cpp - the virtual card on long jobs, run through the korva3 tool as a
 * user runs them (logging off, the path thinned while it runs, the plot written):
 * slices per second, times real time, host time per slice, peak memory, plot size.
 *
 *   circle   INTP_CIRCLE of radius 500000 at 2 pulses per slice: 1.57 million slices
 *   3-axis   INTP_XYZ (1200000, 900000, 600000) at 2 pulses per slice: 808 thousand
 *
 * Times real time = virtual time the job covers / wall time it took; the CPU figure
 * divides by the process's CPU time instead (what the host would give an idle machine).
 */
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>

#include "job/job.h"
#include "machine/machine.h"
#include "job/runner.h"
#include "plot/svg_plot.h"

using namespace korva3_tool;

namespace {

double cpu_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

long peak_rss_kb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

int bench(const char *name, const std::string &path_line)
{
    const std::string text = "INITIAL\nREGISTRATION 0 0\nSET_VAR 0 10 10 10 400 0\n" +
                             path_line + "\nwait 0\n";
    Job job;
    std::vector<std::string> errors;
    std::string error;
    if (!parse_job(name, text, job, errors) || !machine::setup(MachineSetup{}, error)) {
        std::fprintf(stderr, "%s: cannot set up\n", name);
        return 1;
    }
    RunOptions options;
    options.output = Output::Quiet;
    options.limit_ms = 2000000000;
    Recording rec;
    std::ostringstream out, err;
    auto wall0 = std::chrono::steady_clock::now();
    double cpu0 = cpu_seconds();
    int code = run_job(job, options, out, err, rec);
    double cpu = cpu_seconds() - cpu0;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    size_t plot = svg_plot(rec).size();
    if (code != EXIT_OK) {
        std::fprintf(stderr, "%s: %s", name, err.str().c_str());
        return 1;
    }
    const double slices = double(rec.cards.at(0).slices);
    const double virtual_s = (rec.end_ms - rec.start_ms) / 1000.0;
    std::printf("%-8s %9.0f %11.0f %9.0f %9.0f %10.0f %8.2f %8.0f %7.1f\n", name, slices,
                slices / wall, virtual_s / wall, virtual_s / cpu, 1e9 * cpu / slices, wall,
                peak_rss_kb() / 1024.0, plot / 1024.0);
    return 0;
}

} // namespace

int main()
{
    std::printf("%-8s %9s %11s %9s %9s %10s %8s %8s %7s\n", "job", "slices", "slices/s",
                "x real", "x (CPU)", "ns/slice", "wall s", "peak MB", "plot KB");
    int bad = bench("circle", "INTP_CIRCLE 0 500000 0 0 2");
    bad |= bench("3-axis", "INTP_XYZ 0 1200000 900000 600000 2");
    return bad;
}
