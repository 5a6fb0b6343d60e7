// window.h - the segments the planner knows ahead of the path, and the highest speed
// each may be entered at (the backward pass).
//
// Moves come one at a time and become segments (SegmentBuilder); the slicer drops the
// segments the path has left, so the memory is that of the window, not of the program.
//
//     dropped    the path's                                          the window's end
//   .......|k-1|  k  |k+1| ... |f-1|  f  |f+1| ... |e-1|  (the last move, until the next)
//                   fixed: entry speeds  |  still depend on the end: the
//                   the whole program    |  machine assumed at rest there
//                   would give           frontier f
//
// The backward pass runs from the window's end, where the machine is assumed to come to
// rest (so the plan can always stop within the limits at the end of what it knows),
// and only back as far as its values change. A segment's highest entry speed is the
// least of its caps (its junction, its own and the previous segment's feed) and of the
// speed it can brake from over its length to the next one's entry. Where a cap is the
// least, the entry speed no longer depends on the window's end: more moves can only
// raise the braking term. That segment and every one before it are fixed (grbl's
// "planned" pointer) - the window's end does not reach them, and their speeds are
// those of the whole program, bit for bit. So are all those before a point where the
// machine must stand (stop_after): the pass from there is exact.
#ifndef KORVA3_PLANNER_WINDOW_H
#define KORVA3_PLANNER_WINDOW_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "planner/build.h"

namespace korva3_planner {

class Window {
    struct Held {
        Segment segment;
        double max_entry_mm_s = -1; // -1: not planned yet
    };

public:
    explicit Window(const Limits &limits) : builder_(limits) {}

    void push(const PathMove &move); // (none after finish())
    void finish(); // no more moves: the last one's segments, ending at rest
    bool finished() const { return finished_; }

    // Segments are numbered from 0 at the program's start; the window holds those from
    // begin() to end() (one past the last made).
    // A segment stays where it is in memory until dropped.
    size_t begin() const { return base_; }
    size_t end() const { return end_; }
    bool has(size_t k) const { return k >= base_ && k < end_; }
    const Segment &segment(size_t k) const { return held_[k - base_].segment; }

    void set_override(uint32_t percent); // plans the whole window again
    uint32_t override_percent() const { return override_; }
    // Segment k's speed: its feed (times the override, rapids aside) within its cap, mm/s.
    double nominal(size_t k) const;
    // Segment k's path acceleration, mm/s^2, while it runs at up to `top` mm/s: on an
    // arc what its turn leaves at that speed (arc_accel), and at least what it leaves at
    // the highest speed any override set so far (100 % at least) gives it.
    double accel(size_t k, double top) const;
    // The highest speed (mm/s) segment k reaches from `from` mm/s over `length` mm, at
    // the acceleration its turn leaves at the speeds on the way (accel); `limit` when
    // that is more.
    double reach(size_t k, double from, double length, double limit) const;
    // The highest speed segment k (above begin()) may be entered at, mm/s.
    double max_entry(size_t k);
    // Whether max_entry(k) is what the whole program gives (no longer depends on the
    // window's end); past the program's end, where the machine stands, always.
    bool fixed(size_t k);

    void drop_before(size_t k); // segments before k are no longer needed

    // Memory the window takes per segment held, bytes (and the allocator's few).
    static constexpr size_t kBytesPerSegment = sizeof(Held);

private:
    void pass();

    SegmentBuilder builder_;
    std::vector<Segment> made_; // the segments a move completes, before they join held_
    std::deque<Held> held_;
    size_t base_ = 0;           // number of held_.front()
    size_t end_ = 0;            // base_ + held_.size()
    bool finished_ = false;
    uint32_t override_ = 100;   // % of the programmed feed
    uint32_t top_override_ = 100; // the highest override set, % (100 at least)
    size_t frontier_ = 0;       // max_entry of every segment before it is fixed
    bool pass_due_ = false;     // segments came (or the override changed) since the pass
    bool replan_all_ = false;   // the override changed: every value changes
};

} // namespace korva3_planner

#endif
