// step_report.h - the lines a job's run prints: one per step (what it returned, what
// it sent, its frames under --trace) and the final positions.
#ifndef KORVA3_TOOL_STEP_REPORT_H
#define KORVA3_TOOL_STEP_REPORT_H

#include <array>
#include <cstdint>
#include <ostream>
#include <set>
#include <string>

#include "job/job.h"
#include "record/run_watch.h"

namespace korva3_tool {

// What one step did, for its report line (the frames it sent are in the watch).
struct StepNote {
    std::string result; // "-> 1"
    std::string note;   // "12 polls, 3 batches"
};

// "X 1  Y 2  Z 3"
std::string xyz_text(const std::array<int32_t, 3> &p);

// A function's result as the step line shows it ("" when it has none).
std::string result_text(const Function &f, int64_t r);

// "LINE  T_MS  STEP RESULT   NOTE; sent ...", then under --trace every frame in hex.
// many: more than one virtual card (the tallies and frames name theirs).
void print_step_line(std::ostream &out, const Step &s, const StepNote &note, uint32_t elapsed_ms,
                     const RunWatch &watch, bool many, bool trace);

// "card N: X ..  Y ..  Z .." for every registered card, or "no card registered".
void print_positions(std::ostream &out, const std::set<uint32_t> &cards);

} // namespace korva3_tool

#endif
