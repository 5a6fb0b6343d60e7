// trace_file.h - reading a trace the virtual card wrote (JSON Lines,
// docs/virtual-machine.md: "The trace"): a summary (frames per card, final positions,
// faults seen), and the same recording a job's run leaves, for the plot.
#ifndef KORVA3_TOOL_TRACE_FILE_H
#define KORVA3_TOOL_TRACE_FILE_H

#include <array>
#include <istream>
#include <map>
#include <string>
#include <vector>

#include "record/recording.h"

namespace korva3_tool {

struct TraceCard {
    std::map<std::string, int> frames;     // frames taken, by name ("slice", "move", ...)
    int frame_count = 0;
    std::array<int32_t, 3> position{};      // the last executed position
    int status_reports = 0;
    std::map<std::string, int> faults;      // "bad frame", "limit x", "controller reset", ...
};

struct TraceSummary {
    std::string source;                     // the machine's description ("default machine")
    std::string clock;                      // "wall" or "virtual"
    double end_ms = 0;                      // time of the last event
    std::vector<TraceCard> cards;
    int bad_lines = 0;                      // lines that were not events (e.g. cut off)
};

// Reads every line of a trace. False with `error` when it is no trace at all.
bool read_trace(std::istream &in, const std::string &name, TraceSummary &summary,
                Recording &recording, std::string &error);

// The summary as printed by `korva3 trace`.
std::string format_summary(const TraceSummary &summary);

} // namespace korva3_tool

#endif
