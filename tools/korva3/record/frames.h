// frames.h - reading the command frames a card received: what kind each is, the pulses
// of an interpolation slice, hex dumps and one-line summaries.
#ifndef KORVA3_TOOL_FRAMES_H
#define KORVA3_TOOL_FRAMES_H

#include <string>
#include <vector>

#include "machine/machine.h"

namespace korva3_tool {

// One interpolation slice: pulses of X, Y, Z.
struct Slice {
    int x = 0, y = 0, z = 0;
};

// The command code of a frame (its third byte).
inline uint8_t frame_code(const RawFrame &f) { return f[2]; }

// True for an interpolation slice.
inline bool is_slice(const RawFrame &f) { return frame_code(f) == 0x10; }

// The pulses of a slice frame (sign bit 0x80 of the high byte, 11-bit magnitude).
Slice slice_of(const RawFrame &f);

// What a frame is, in a few words ("link test", "speed parameters", "slice", ...).
std::string frame_kind(const RawFrame &f);

// "55 AA 10 ..." and, for slices, their pulses.
std::string frame_hex(const RawFrame &f);

// Counts frames as they arrive, for a summary of what a step sent: runs of one kind, and
// for slices their number and the sum of their pulses. Its size does not grow with the
// number of frames.
class FrameTally {
public:
    void add(const RawFrame &f);
    bool empty() const { return runs_.empty(); }
    uint64_t slices() const { return slices_; }
    // "link reset, link test" or "612 slices (32000, 0, 0)"; at most 6 runs, then "...".
    std::string summary() const;

private:
    struct Run {
        uint8_t code;
        uint64_t count;
        long long x, y, z;
    };
    static constexpr size_t kMaxRuns = 6;
    std::vector<Run> runs_;
    bool more_ = false;
    uint64_t slices_ = 0;
};

// A summary of frames in the order sent: runs of one kind counted, slices with the
// sum of their pulses: "link reset, link test" or "612 slices (32000, 0, 0)".
std::string summarize(const std::vector<RawFrame> &frames);

} // namespace korva3_tool

#endif
