// panel_job.h - the running job on the virtual machine's panel: described once, its
// state published as it goes, the operator's requests read on the job's own thread
// (KSIM_PANEL_JOB*). Nothing on real cards (no panel there).
#ifndef KORVA3_TOOL_PANEL_JOB_H
#define KORVA3_TOOL_PANEL_JOB_H

#include <cstdint>
#include <string>

namespace korva3_tool::machine {

// The controls a job takes (bits), and the operator's requests (bits).
enum : uint32_t {
    kTakesOverride = 1, kTakesHold = 2, kTakesStop = 4, kTakesStart = 8, kTakesLines = 16
};
enum : uint32_t { kWantsHold = 1, kWantsStop = 2, kWantsStart = 4 };

// The job's description (a JSON object) and the controls it takes; the requests start
// again. False when the panel does not take it (too long, or no panel).
bool panel_describe_job(const std::string &description, uint32_t controls);
// What the job is doing (a JSON object); never waits: false when not taken.
bool panel_publish_job(const std::string &state);
// kWants* bits; the feed override (1..1000 %) in `percent`.
uint32_t panel_job_requests(uint32_t &percent);
// The operator's next line ("mdi G0 X10", "jog X +", ...) for a job that takes
// kTakesLines; false when none waits.
bool panel_take_line(std::string &line);

} // namespace korva3_tool::machine

#endif
