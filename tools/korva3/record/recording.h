// recording.h - what a run leaves for the plot and the CSV, per virtual card: the path
// it executed (thinned to the picture's resolution while it runs, so memory does not
// grow with the job), each axis's speed against time, and where each job line's path
// began.
#ifndef KORVA3_TOOL_RECORDING_H
#define KORVA3_TOOL_RECORDING_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "record/frames.h"
#include "record/gcode_track.h"
#include "machine/machine.h"
#include "record/path_thinner.h"
#include "record/speed_track.h"

namespace korva3_tool {

// Where the motion a job line defined began to run on a card.
struct LineMark {
    uint64_t t_us; // virtual time
    int line;      // job file line that defined it (the path call, not the poll)
};

struct CardTrace {
    int index = 0;                     // virtual card
    int card = -1;                     // library card number, -1 if never bound
    std::vector<MotionRecord> path;    // thinned; first: where the card stood at the start
    uint64_t slices = 0;               // slices received
    std::array<int64_t, 3> sent{};     // pulses of X, Y, Z in the slices received
    SpeedTrack speed;                  // each axis's speed over time
    std::vector<LineMark> marks;
};

struct Recording {
    std::string job;     // job name
    std::string machine; // "virtual card" ...
    uint32_t start_ms = 0, end_ms = 0;
    std::vector<CardTrace> cards;
    std::shared_ptr<GcodeTrack> gcode; // a G-code run's path and feeds (null: a job)
};

} // namespace korva3_tool

#endif
