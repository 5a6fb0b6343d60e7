// arc_geometry.h - a program's arc in its plane, in millimetres before any rounding:
// which axes the plane of G17, G18 or G19 holds, which way G2 and G3 turn in it, the
// centre from R, the start angle and the turn, and the quarter-turn points that bound
// the arc (for the extent).
#ifndef KORVA3_GCODE_ARC_GEOMETRY_H
#define KORVA3_GCODE_ARC_GEOMETRY_H

#include <vector>

#include "planner/geometry.h"

namespace korva3_gcode {

using korva3_planner::kPi;

// A point of the arc's plane: u, v (its first and second axis).
struct PlanePoint {
    double u, v;
};

// The plane of an arc: its axes (u, v), the axis across it (0 = X, 1 = Y, 2 = Z),
// whether (u, v) is seen from the negative end of that axis (G18: (X, Z) seen from +Y
// has Z to the right and X up), and its name in messages.
struct ArcPlane {
    int u, v, across;
    bool seen_from_below;
    const char *name; // "XY plane (G17)"
};

// The plane of G17, G18 or G19 (kPlaneXY, kPlaneXZ, kPlaneYZ).
ArcPlane arc_plane(int plane_code);

// Whether G2 or G3 (kClockwise, kCounterClockwise) turns counter-clockwise in the
// plane's (u, v). G2 is clockwise seen from the positive end of the axis across the
// plane; in G18 that view has Z to the right and X up, (u, v) = (X, Z) the reverse.
bool counter_clockwise(int motion_code, const ArcPlane &plane);

// Points closer than this are one (mm): an arc whose end is its start turns in full.
constexpr double kSamePoint = 1e-9;

// The centre of the arc of radius `r` (positive: the short way round, negative: the
// long way) from `start` to `end`, turning counter-clockwise or not. The chord is
// longer than kSamePoint; a radius below half of it puts the centre on the chord.
PlanePoint centre_from_radius(PlanePoint start, PlanePoint end, double r, bool ccw);

// Where an arc starts on its circle and how far it turns: radians, positive
// counter-clockwise, never zero; a full turn is 2 pi either way.
struct Sweep {
    double start_angle, turn;
};
Sweep arc_sweep(PlanePoint start, PlanePoint end, PlanePoint centre, bool ccw, bool full);

// The points of the circle round `centre` of `radius` at every quarter turn (on a line
// through the centre along u or v) that the sweep passes: with the end points, the
// arc's farthest reach along each axis.
std::vector<PlanePoint> quarter_points(PlanePoint centre, double radius, const Sweep &sweep);

} // namespace korva3_gcode

#endif
