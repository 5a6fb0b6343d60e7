// speed_track.h - each axis's speed against time, kept in a bounded number of time bins:
// for every bin the lowest and highest speed seen in it, so a thinned profile still
// shows its peaks, and 0 where the axis stood (between moves, or while a card starved
// for slices). When the run outgrows the bins, neighbours merge and the bins double in
// width.
#ifndef KORVA3_TOOL_SPEED_TRACK_H
#define KORVA3_TOOL_SPEED_TRACK_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korva3_tool {

struct SpeedBin {
    bool seen = false;           // something was recorded in this bin
    std::array<float, 3> lo{};   // pulses per ms, signed
    std::array<float, 3> hi{};
};

class SpeedTrack {
public:
    explicit SpeedTrack(size_t bins = 600) : max_bins_(bins) {}

    // Start of time (µs of virtual time) for bin 0.
    void start(uint64_t t_us) { origin_us_ = t_us; }

    // A change of position by `delta` pulses that took `took_us` microseconds and ended
    // at t_us. Time since the previous call beyond took_us counts as standing still.
    void add(uint64_t t_us, const std::array<int64_t, 3> &delta, uint64_t took_us);

    // Marks standing still from the last record up to t_us (e.g. the end of the run).
    void idle_until(uint64_t t_us);

    uint64_t origin_us() const { return origin_us_; }
    uint64_t bin_us() const { return bin_us_; }
    const std::vector<SpeedBin> &bins() const { return bins_; }

private:
    size_t bin_of(uint64_t t_us);
    void put(size_t bin, const std::array<float, 3> &v);
    void still(uint64_t from_us, uint64_t to_us);

    size_t max_bins_;          // bins kept; beyond them neighbours merge
    uint64_t origin_us_ = 0;
    uint64_t bin_us_ = 1000;
    uint64_t last_us_ = 0; // end of the last record
    std::vector<SpeedBin> bins_;
};

} // namespace korva3_tool

#endif
