// build.h - the program's moves as the planner's segments: lines, arcs, the blends that
// round the corners between lines within the path tolerance, and the highest speed at
// each junction. Moves come one at a time; a move's segments are made once the move
// after it shows how the corner between them is blended (or once there are no more).
//
// Junctions. Where the path turns, the junction is replaced by the arc tangent to both
// moves that stays within the tolerance of it (G64 P, else the machine's; planner/
// fillet.h): lines with lines, and lines and arcs (or two arcs) in one plane. Its
// distance from the junction is at most the tolerance, and it takes at most half of
// either move. The arc's radius then sets the junction's speed (its turn within
// kTurnShare of the plane's acceleration). A line and an arc out of one plane (a
// plunge or a lift at an arc, a line and a helix) are blended by planner/skew_fillet.h.
// Where no fillet fits (two arcs in different planes, G64 P0), the path turns within a
// slice, and the junction's speed keeps each axis's change of speed within half of what
// its acceleration gives in a slice (nothing, when the two are tangent; 0 beyond 90
// degrees). After a stop, and at every move under G61, the speed there is 0.
#ifndef KORVA3_PLANNER_BUILD_H
#define KORVA3_PLANNER_BUILD_H

#include <vector>

#include "planner/path.h"
#include "planner/segment.h"

namespace korva3_planner {

// Every Stop becomes a segment of length 0 with its action; the segment before a Stop,
// under G61, and the last one end at rest (stop_after).
class SegmentBuilder {
public:
    explicit SegmentBuilder(const Limits &limits) : limits_(limits) {}

    // Takes the next move; appends to `out` the segments of the move before it, which
    // this one completes (none for a move that moves no axis).
    void push(const PathMove &move, std::vector<Segment> &out);
    // No more moves: appends the last move's segments, ending at rest.
    void finish(std::vector<Segment> &out);

private:
    void emit(const Segment *next, std::vector<Segment> &out);
    void add(const Segment &s, std::vector<Segment> &out);

    Limits limits_;
    MmPoint at_{};            // mm: where the last move ends
    PulsePoint at_pulses_{};  // `at_` rounded: where the card stands at a Stop
    bool holding_ = false;    // raw_ is a move whose segments are not made yet
    Segment raw_;             // that move, unblended
    double tolerance_ = 0;    // mm its corner with the next may leave the path
    double cut_start_ = 0;    // fraction of raw_ the fillet before it takes at its start
    bool moved_start_ = false; // raw_ (a line) starts at start_at_, where a blend from an
    MmPoint start_at_{};       // arc out of its plane ended (mm)
    bool made_any_ = false;   // a segment was made: last_ is the one before the next
    Segment last_;
};

// The segments of a whole program (a SegmentBuilder given every move, then finished).
std::vector<Segment> build_segments(const std::vector<PathMove> &moves, const Limits &limits);

} // namespace korva3_planner

#endif
