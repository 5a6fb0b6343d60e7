// arc_geometry.cpp - a program's arc in its plane.
#include "gcode/arc_geometry.h"

#include <cmath>

#include "gcode/modal.h"

namespace korva3_gcode {

ArcPlane arc_plane(int plane_code)
{
    switch (plane_code) {
    case kPlaneXY: return {0, 1, 2, false, "XY plane (G17)"};
    case kPlaneXZ: return {0, 2, 1, true, "XZ plane (G18)"};
    default: return {1, 2, 0, false, "YZ plane (G19)"};
    }
}

bool counter_clockwise(int motion_code, const ArcPlane &plane)
{
    return (motion_code == kCounterClockwise) != plane.seen_from_below;
}

PlanePoint centre_from_radius(PlanePoint s, PlanePoint e, double r, bool ccw)
{
    double chord = std::hypot(e.u - s.u, e.v - s.v);
    double half = 0.5 * chord;
    double h = std::sqrt(std::fmax(0, r * r - half * half));
    double tu = (e.u - s.u) / chord, tv = (e.v - s.v) / chord;
    double side = (!ccw == (r > 0)) ? h : -h; // right of the chord: (tv, -tu)
    return {0.5 * (s.u + e.u) + side * tv, 0.5 * (s.v + e.v) - side * tu};
}

Sweep arc_sweep(PlanePoint s, PlanePoint e, PlanePoint c, bool ccw, bool full)
{
    double a0 = std::atan2(s.v - c.v, s.u - c.u);
    double turn = std::atan2(e.v - c.v, e.u - c.u) - a0;
    if (full)
        turn = ccw ? 2 * kPi : -2 * kPi;
    else if (ccw)
        while (turn <= 0) turn += 2 * kPi;
    else
        while (turn >= 0) turn -= 2 * kPi;
    return {a0, turn};
}

std::vector<PlanePoint> quarter_points(PlanePoint c, double r, const Sweep &sweep)
{
    std::vector<PlanePoint> points;
    double a0 = sweep.start_angle, a1 = sweep.start_angle + sweep.turn;
    double lo = std::fmin(a0, a1), hi = std::fmax(a0, a1);
    for (double q = std::ceil(lo / (kPi / 2)); q * (kPi / 2) <= hi; q++)
        points.push_back({c.u + r * std::cos(q * kPi / 2), c.v + r * std::sin(q * kPi / 2)});
    return points;
}

} // namespace korva3_gcode
