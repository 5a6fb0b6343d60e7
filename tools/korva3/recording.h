// recording.h - what a run leaves for the plot: per virtual card, the path it executed
// and the slices it received.
#ifndef KORVA3_TOOL_RECORDING_H
#define KORVA3_TOOL_RECORDING_H

#include <string>
#include <vector>

#include "frames.h"
#include "machine.h"

namespace korva3_tool {

// Where a job line's slices begin in a card's slice list.
struct LineMark {
    size_t slice; // index of the line's first slice
    int line;     // job file line
};

struct CardTrace {
    int index = 0;                   // virtual card
    int card = -1;                   // library card number, -1 if never bound
    std::vector<MotionRecord> path;  // first: where the card stood when the job began
    std::vector<Slice> slices;       // every slice received, in order
    std::vector<LineMark> marks;
};

struct Recording {
    std::string job;               // job name
    std::string machine;           // "virtual card" ...
    uint32_t start_ms = 0, end_ms = 0;
    std::vector<CardTrace> cards;
};

} // namespace korva3_tool

#endif
