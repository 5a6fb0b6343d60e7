// fillet.h - the arc that rounds the junction of two segments within a tolerance: tangent
// to both, as far from the junction as the tolerance allows, taking at most half of
// either. Lines with lines in any direction; a line and an arc, or two arcs, when they
// lie in one plane (the arc's, with no helix).
#ifndef KORVA3_PLANNER_FILLET_H
#define KORVA3_PLANNER_FILLET_H

#include "planner/segment.h"

namespace korva3_planner {

struct Fillet {
    double cut_a = 0; // fraction of a's length (line) or turn (arc) the fillet takes at its end
    double cut_b = 0; // fraction of b's the fillet takes at its start
    double radius = 0; // mm
};

// The fillet between `a` and `b`, which meet at a.end, leaving the path by at most
// `tolerance` mm; false where the two are tangent, turn back on themselves, do not lie
// in one plane, or no fillet fits.
bool find_fillet(const Segment &a, const Segment &b, double tolerance, Fillet &f);

} // namespace korva3_planner

#endif
