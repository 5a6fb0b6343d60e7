// runner.h - runs a parsed job on the machine, one step after the other, and reports
// what each step sent.
#ifndef KORVA3_TOOL_RUNNER_H
#define KORVA3_TOOL_RUNNER_H

#include <cstdint>
#include <ostream>
#include <set>

#include "job.h"
#include "recording.h"

namespace korva3_tool {

enum class Output {
    Normal, // one line per step, then the final positions
    Quiet,  // only the final positions (and errors)
    Trace   // as Normal, plus every frame in hex
};

struct RunOptions {
    Output output = Output::Normal;
    // Time a job may take in all (virtual milliseconds on the virtual machine); waits,
    // polls and the end of the job fail past it instead of running on for ever.
    uint32_t limit_ms = 600000;
    // At the end, let the cards come to rest for at most this long before reading the
    // final positions.
    uint32_t settle_ms = 60000;
    // Warnings (a call that reaches no card or is refused, ...) fail the job.
    bool strict = false;
    // Lines already warned about before the run (check_job): not warned again.
    std::set<int> warned_lines;
    // Every executed position as CSV (time_ms,card,line,x,y,z); null: none.
    std::ostream *csv = nullptr;
    // A status line on standard error during long steps (only for a terminal).
    bool status_line = false;
};

// Exit codes of the tool.
enum { EXIT_OK = 0, EXIT_JOB_FAILED = 1, EXIT_USAGE = 2 };

// Runs the job on the machine (already set up). Messages of a failing step go to err
// as "JOB:LINE: ..." and nothing after that step runs. Returns EXIT_OK or
// EXIT_JOB_FAILED; the recording holds what the cards did either way.
int run_job(const Job &job, const RunOptions &options, std::ostream &out, std::ostream &err,
            Recording &recording);

} // namespace korva3_tool

#endif
