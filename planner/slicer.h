// slicer.h - the planned path cut into the card's slices, as the program's moves come.
//
// The caller pushes moves (push) while the slicer wants more (wants_more), says when
// there are none left (finish), and takes slices (next) as they are made; next()
// answers NeedMore when the plan of the next slice could still change with moves not
// yet pushed. A whole program may be given at once (the vector constructor).
//
// Each segment's highest entry speed comes from the backward pass over the window of
// segments ahead (planner/window.h); each segment, when the path reaches it, gets its
// trapezoid from the speed it enters with (the forward pass) to the highest speed its
// exit allows. The path enters a segment only once that exit speed is fixed - the same
// as with the whole program known - so every slice is the slice the whole program
// gives, however the moves come (within kMaxWindowSegments, below). Every slice period the ideal path is sampled; the
// slice carries the difference of the rounded absolute positions, so the card ends
// exactly where the path ends and no pulse is lost or added.
//
// The window. The slicer asks for moves until it holds horizon_segments() ahead of the
// path, and again once fewer than half of them are (so each pass over the window is
// paid for by as many new segments). The horizon is 16 segments at first; whenever the
// next segment's plan still depends on the window's end, twice what the window held
// then. Long moves need a few segments; short ones as many as the braking distance
// from their speed covers (0.05 mm segments at 1200 mm/min and 500 mm/s^2: 8). At
// most kMaxWindowSegments are held ahead: where braking needs more than that (steps of
// a fraction of a pulse at full speed), the slicer goes on with the plan that comes to
// rest at the window's end - slower, never wrong - until half the window is run.
//
// Live controls: the feed override (1..1000 %, of the programmed feed: never of the
// speed already overridden) plans the window again and the rest of the current segment
// from where the path is; a feed hold decelerates along the path at each segment's
// acceleration to rest, resume plans from there; stop holds and then ends. A plan that
// needs more moves than the window holds is made at the next next() that has them.
#ifndef KORVA3_PLANNER_SLICER_H
#define KORVA3_PLANNER_SLICER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "planner/path.h"
#include "planner/segment.h"
#include "planner/trapezoid.h"
#include "planner/window.h"

namespace korva3_planner {

// The most segments the slicer holds ahead of the path: Window::kBytesPerSegment each,
// 7.8 MB in all on a 64-bit host. Enough for an exact plan of moves of a pulse (the
// shortest the G-code reader passes on) at full speed on the default machine (100 mm/s
// and 500 mm/s^2 per axis, 1000 pulses per mm): braking takes 10 mm, 10,000 such moves,
// two segments each with the blend of its corner.
constexpr size_t kMaxWindowSegments = 20000;
// The segments it asks for before it knows how many the program's moves need.
constexpr size_t kFirstHorizonSegments = 16;

struct Slice {
    int32_t pulses[3] = {0, 0, 0}; // X, Y, Z pulses of this slice
    int line = 0;                  // program line of the path where the slice ends
    uint64_t step = 0;             // that path's move's tag (PathMove::step)
    bool rapid = false;            // that path is a rapid (G0)
    double speed_mm_s = 0;         // path speed at the slice's end, mm/s
    double feed_mm_s = 0;          // programmed feed there times the override, mm/s
};

enum class Next {
    Slice,   // `slice` is filled: send it
    Action,  // the machine stands (all slices sent before): do `action`
    Held,    // at rest on the path after a hold; resume() or stop()
    Done,    // the program's end, or stopped
    NeedMore // push more moves (or finish()) first: nothing was made
};

class Slicer {
public:
    explicit Slicer(const Limits &limits); // moves to come with push()
    // The whole program at once: every move pushed, then finished.
    Slicer(const std::vector<PathMove> &moves, const Limits &limits);

    void push(const PathMove &move);
    void finish(); // no more moves
    // Whether the slicer wants more moves: finish() not called, and the window is being
    // filled up to horizon_segments() ahead of the path (again once fewer than half of
    // them are, or next() answered NeedMore).
    bool wants_more() const;

    Next next(Slice &slice, uint32_t &action);

    // For an estimate without the slices: moves the path on by the whole periods that fit
    // in the current profile short of its end (less one), as that many next() calls
    // would, and returns how many. Long moves are counted in one step this way. 0 while
    // a plan waits for moves.
    double skip();

    void set_override(uint32_t percent); // 1..1000
    uint32_t override_percent() const { return window_.override_percent(); }
    void hold();
    void resume();
    void stop();

    const PulsePoint &position() const { return at_; } // pulses sent so far, from 0
    size_t horizon_segments() const { return want_; }
    // Segments held now: the path's, the one before it, and those ahead.
    size_t window_segments() const { return window_.end() - window_.begin(); }

private:
    struct Cursor {             // where the path is: what next() moves on
        size_t k = 0;           // segment the path is on
        const Segment *seg = nullptr; // that segment, in the window
        Trapezoid trap;         // its profile from s_base
        double s_base = 0;      // mm into the segment where trap starts
        double tau = 0;         // s into trap
        bool rests_mid = false; // trap is a hold that comes to rest inside the segment
        bool held = false, done = false;
    };

    Next next_across(Slice &slice, uint32_t &action);
    Next sample(Slice &slice, bool at_end);
    bool start();
    size_t ahead() const { return window_.end() - c_.k; }
    bool can_plan(size_t k);
    bool may_plan(size_t k, size_t ahead_at_call);
    enum class After { Enter, End, Wait };
    After what_follows(size_t ahead_at_call);
    Next need_more(size_t ahead_at_call);
    double exit_limit(size_t k, double entry, double length);
    void plan_here(double entry);
    Trapezoid profile(double left, double entry, double exit) const;
    void replan_here();
    void enter(size_t k, double entry);
    double path_now(double &speed) const;

    Limits limits_;
    double period_s_;           // the slice period, s
    Window window_;
    Cursor c_;
    PulsePoint at_{};           // pulses sent
    bool started_ = false;      // the path is on segment c_.k
    bool replan_ = false;       // the profile is to be planned again from where the path is
    bool holding_ = false, stopping_ = false;
    bool filling_ = true;       // moves wanted until want_ segments are ahead
    bool capped_ = false;       // going on with the plan to rest at the window's end
    size_t want_ = kFirstHorizonSegments; // segments wanted ahead of the path
};

} // namespace korva3_planner

#endif
