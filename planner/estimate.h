// estimate.h - a program's time on the card, planned without the card as its moves come:
// the slices the slicer makes (the stretches inside a profile counted at once, with
// Slicer::skip) at the slice period, plus the time the machine stands at its stops
// (dwells). The same figures as the whole program's plan, in the memory of the
// slicer's window.
#ifndef KORVA3_PLANNER_ESTIMATE_H
#define KORVA3_PLANNER_ESTIMATE_H

#include <cstdint>

#include "planner/slicer.h"

namespace korva3_planner {

class Estimate {
public:
    explicit Estimate(const Limits &limits) : slicer_(limits), slice_us_(limits.slice_us) {}

    // The next move; `stand_ms`: how long the machine stands at it (a Stop's dwell), ms.
    void push(const PathMove &move, double stand_ms = 0);
    void finish(); // no more moves: the figures are the program's

    double slices() const { return slices_; } // so far; may pass 2^64 for absurd feeds
    double ms() const { return slices_ * slice_us_ / 1000.0 + stand_ms_; }
    bool done() const { return done_; }       // finished and planned to the end

private:
    void run();

    Slicer slicer_;
    uint32_t slice_us_;
    double slices_ = 0;
    double stand_ms_ = 0;
    bool done_ = false;
};

} // namespace korva3_planner

#endif
