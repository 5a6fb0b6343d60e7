// skew_fillet.h - rounding the junction of a line and an arc (or helix) that do not lie
// in one plane: a plunge or a lift meeting an XY arc. No arc is tangent to both, so the
// blend is the arc tangent to the curve's own tangent where it leaves it, turning into
// the line's direction; the line's end nearest the junction moves by what the curve
// bends over that reach (reach^2 / 2r: well under a pulse for the reaches a tolerance
// gives), so the path stays continuous and within the tolerance.
#ifndef KORVA3_PLANNER_SKEW_FILLET_H
#define KORVA3_PLANNER_SKEW_FILLET_H

#include "planner/segment.h"

namespace korva3_planner {

struct SkewFillet {
    double cut_a = 0;  // fraction of a's length (or turn) the blend takes at its end
    double cut_b = 0;  // fraction of b's it takes at its start
    Segment blend;     // the arc from a's cut end to b's cut start
    // Where the line's cut end moves (mm): a's new end when a is the line, b's new start
    // when b is.
    bool a_line = false;
    MmPoint line_end{};
};

// The blend between `a` and `b` (one a line, the other an arc; they meet at a.end),
// leaving the path by at most `tolerance` mm; false where they are tangent, turn back,
// or the moved line would turn by more than 0.001 radians.
bool find_skew_fillet(const Segment &a, const Segment &b, double tolerance, SkewFillet &f);

// `s` (a line) from `from` to `to`, with its tags; its limits are to be applied again.
Segment moved_line(const Segment &s, const MmPoint &from, const MmPoint &to);

} // namespace korva3_planner

#endif
