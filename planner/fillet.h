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
    // Where an arc takes part: the fillet's centre (mm) and its plane (the arc's: unit
    // directions e1, e2, and the axis across), the fillet turning from e1 towards e2
    // when `side` is +1.
    bool in_plane = false;
    MmPoint centre{};
    Vec3 e1{}, e2{}, axis{};
    double side = 1;
};

// The fillet `f` between the end of `from_end` and the start of `to_start` (the two
// segments less what it takes): an arc in the fillet's plane round its centre, or
// between lines the arc tangent to both.
Segment fillet_arc(const Fillet &f, const Segment &from_end, const Segment &to_start);

// The fillet between `a` and `b`, which meet at a.end, leaving the path by at most
// `tolerance` mm; false where the two are tangent, turn back on themselves, do not lie
// in one plane, or no fillet fits.
bool find_fillet(const Segment &a, const Segment &b, double tolerance, Fillet &f);

} // namespace korva3_planner

#endif
