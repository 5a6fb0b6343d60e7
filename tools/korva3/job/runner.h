// runner.h - runs a parsed job on the machine, one step after the other, and reports
// what each step sent.
#ifndef KORVA3_TOOL_RUNNER_H
#define KORVA3_TOOL_RUNNER_H

#include <cstdint>
#include <memory>
#include <ostream>
#include <set>

#include "run/exit_codes.h"
#include "job/job.h"
#include "record/recording.h"
#include "run/driver.h"
#include "run/session.h"

namespace korva3_tool {

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
    // The job's steps on the virtual machine's panel (started by the driver).
    bool panel = false;
};

// The job as the run driver's work: its steps one after the other, then the final
// positions. Messages of a failing step go to err as "JOB:LINE: ..." and nothing after
// that step runs. It ends with EXIT_OK or EXIT_JOB_FAILED; the recording holds what the
// cards did either way.
std::unique_ptr<Work> job_work(const Job &job, const RunOptions &options, std::ostream &out,
                               std::ostream &err);

// What the run driver's session takes of the options (the driver sets csv itself).
SessionOptions session_options(const RunOptions &options);

// Runs the job on a machine already set up, without the driver's output files.
int run_job(const Job &job, const RunOptions &options, std::ostream &out, std::ostream &err,
            Recording &recording);

} // namespace korva3_tool

#endif
