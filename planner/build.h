// build.h - the program's moves as the planner's segments: lines, arcs, the blends that
// round the corners between lines within the path tolerance, and the highest speed at
// each junction.
//
// Junctions. Between two lines the corner is replaced by the arc tangent to both that
// stays within the tolerance of the corner (G64 P, else the machine's): its distance
// from the corner is at most the tolerance, and it takes at most half of either line.
// The arc's radius then sets the corner's speed (its turn within half the axes'
// acceleration). Where a line meets an arc, or two arcs meet, the path turns within a
// slice, and the junction's speed keeps each axis's change of speed within half of what
// its acceleration gives in a slice (nothing, when the two are tangent). After a stop,
// and at every move under G61, the speed there is 0.
#ifndef KORVA3_PLANNER_BUILD_H
#define KORVA3_PLANNER_BUILD_H

#include <vector>

#include "planner/path.h"
#include "planner/segment.h"

namespace korva3_planner {

// The segments of `moves`, each with its limits (cap, accel) and junction speed. Every
// Stop becomes a segment of length 0 with its action; the segment before a Stop, under
// G61, and the last one end at rest (stop_after).
std::vector<Segment> build_segments(const std::vector<PathMove> &moves, const Limits &limits);

} // namespace korva3_planner

#endif
