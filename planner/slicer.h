// slicer.h - the planned path cut into the card's slices.
//
// The segments of a section (the moves between two points where the machine stands)
// get their highest entry speeds in a backward pass from the section's end (at rest); each
// segment, when the path reaches it, gets its trapezoid from the speed it enters with
// (the forward pass) to the highest speed its exit allows. Every slice period the ideal
// path is sampled; the slice carries the difference of the rounded absolute positions,
// so the card ends exactly where the path ends and no pulse is lost or added.
//
// Live controls: the feed override (1..1000 %, of the programmed feed: never of the
// speed already overridden) plans the rest of the section again from where the path
// is; a feed hold decelerates along the path at each segment's acceleration to rest,
// resume plans from there; stop holds and then ends.
#ifndef KORVA3_PLANNER_SLICER_H
#define KORVA3_PLANNER_SLICER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "planner/path.h"
#include "planner/segment.h"
#include "planner/trapezoid.h"

namespace korva3_planner {

struct Slice {
    int32_t pulses[3] = {0, 0, 0}; // X, Y, Z pulses of this slice
    int line = 0;                  // program line of the path where the slice ends
    bool rapid = false;            // that path is a rapid (G0)
    double speed_mm_s = 0;         // path speed at the slice's end, mm/s
    double feed_mm_s = 0;          // programmed feed there times the override, mm/s
};

enum class Next {
    Slice,  // `slice` is filled: send it
    Action, // the machine stands (all slices sent before): do `action`
    Held,   // at rest on the path after a hold; resume() or stop()
    Done    // the program's end, or stopped
};

class Slicer {
public:
    Slicer(const std::vector<PathMove> &moves, const Limits &limits);

    Next next(Slice &slice, uint32_t &action);

    // For an estimate without the slices: moves the path on by the whole periods that fit
    // in the current profile short of its end (less one), as that many next() calls
    // would, and returns how many. Long moves are counted in one step this way.
    double skip();

    void set_override(uint32_t percent); // 1..1000
    uint32_t override_percent() const { return override_; }
    void hold();
    void resume();
    void stop();

    const PulsePoint &position() const { return at_; } // pulses sent so far, from 0
    const std::vector<Segment> &segments() const { return segs_; }

private:
    double nominal(size_t k) const;
    void backward_pass(size_t from);
    double exit_limit(size_t k, double entry, double length) const;
    void plan_here(double entry);
    void enter(size_t k, double entry);
    double path_now(double &speed) const;

    Limits limits_;
    std::vector<Segment> segs_;
    std::vector<double> max_entry_; // mm/s: backward pass, per segment
    size_t k_ = 0;              // segment the path is on
    Trapezoid trap_;            // its profile from s_base_
    double s_base_ = 0;         // mm into the segment where trap_ starts
    double tau_ = 0;            // s into trap_
    PulsePoint at_{};           // pulses sent
    uint32_t override_ = 100;
    bool holding_ = false, stopping_ = false, held_ = false, done_ = false;
    bool rests_mid_ = false;    // trap_ is a hold that comes to rest inside the segment
};

} // namespace korva3_planner

#endif
