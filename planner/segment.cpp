// segment.cpp - the geometry of lines and arcs, and the speed the limits allow on them.
#include "planner/segment.h"

#include <algorithm>
#include <cmath>

namespace korva3_planner {

namespace {

Vec3 unit(const Vec3 &d)
{
    double n = std::sqrt(dot(d, d));
    return n > 0 ? Vec3{d[0] / n, d[1] / n, d[2] / n} : Vec3{};
}

// The arc's tangent at angle theta from its start, along the path (not normalised).
Vec3 arc_tangent(const Segment &s, double theta)
{
    double r = s.r0 + (s.r1 - s.r0) * theta / s.turn;
    double dr = (s.r1 - s.r0) / s.turn;
    double c = std::cos(s.a0 + theta), n = std::sin(s.a0 + theta);
    double sign = s.turn > 0 ? 1 : -1;
    Vec3 t{};
    for (int k = 0; k < 3; k++)
        t[k] = sign * ((dr * c - r * n) * s.e1[k] + (dr * n + r * c) * s.e2[k] +
                       s.rise / s.turn * s.axis[k]);
    return t;
}

// Whether axis k moves in the arc's plane.
bool in_plane(const Segment &s, int k) { return std::fabs(s.e1[k]) + std::fabs(s.e2[k]) > 1e-12; }

} // namespace

double axis_speed(const Limits &l, int a)
{
    double by_slices = (kMaxSlicePulses - 1) / l.scale[a] / slice_s(l);
    return std::min(l.max_speed_mm_s[a], by_slices);
}

MmPoint Segment::point(double s) const
{
    if (s >= length)
        return end;
    double f = length > 0 ? s / length : 0;
    MmPoint p{};
    if (!arc) {
        for (int a = 0; a < 3; a++)
            p[a] = start[a] + (end[a] - start[a]) * f;
        return p;
    }
    double theta = turn * f;
    double r = r0 + (r1 - r0) * f;
    double c = r * std::cos(a0 + theta), n = r * std::sin(a0 + theta);
    for (int k = 0; k < 3; k++)
        p[k] = centre[k] + c * e1[k] + n * e2[k] + rise * f * axis[k];
    return p;
}

Segment line_segment(const Vec3 &a, const Vec3 &b)
{
    Segment s;
    s.start = a;
    s.end = b;
    Vec3 d{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    s.length = std::sqrt(dot(d, d));
    s.dir_start = s.dir_end = unit(d);
    return s;
}

static double arc_length(const Segment &s)
{
    return std::hypot(std::fabs(s.turn) * (s.r0 + s.r1) / 2, s.rise);
}

Segment arc_segment(const Vec3 &a, const Vec3 &b, int u, int v, double cu, double cv,
                    double turn)
{
    Segment s;
    s.arc = true;
    s.start = a;
    s.end = b;
    int w = 3 - u - v;
    s.e1[u] = 1;
    s.e2[v] = 1;
    s.axis[w] = 1;
    s.centre[u] = cu;
    s.centre[v] = cv;
    s.centre[w] = a[w];
    s.r0 = std::hypot(a[u] - cu, a[v] - cv);
    s.r1 = std::hypot(b[u] - cu, b[v] - cv);
    s.a0 = std::atan2(a[v] - cv, a[u] - cu);
    s.turn = turn;
    s.rise = b[w] - a[w];
    s.length = arc_length(s);
    s.dir_start = unit(arc_tangent(s, 0));
    s.dir_end = unit(arc_tangent(s, turn));
    return s;
}

Segment arc_round(const Vec3 &from, const Vec3 &to, const Vec3 &centre, const Vec3 &e1,
                  const Vec3 &e2, const Vec3 &axis, double turn)
{
    Segment s;
    s.arc = true;
    s.start = from;
    s.end = to;
    s.centre = centre;
    s.e1 = e1;
    s.e2 = e2;
    s.axis = axis;
    Vec3 a{from[0] - centre[0], from[1] - centre[1], from[2] - centre[2]};
    Vec3 b{to[0] - centre[0], to[1] - centre[1], to[2] - centre[2]};
    s.r0 = std::hypot(dot(a, e1), dot(a, e2));
    s.r1 = std::hypot(dot(b, e1), dot(b, e2));
    s.a0 = std::atan2(dot(a, e2), dot(a, e1));
    s.turn = turn;
    s.length = arc_length(s);
    s.dir_start = unit(arc_tangent(s, 0));
    s.dir_end = unit(arc_tangent(s, turn));
    return s;
}

Segment blend_arc(const Vec3 &from, const Vec3 &d1, const Vec3 &d2, double r, double turn)
{
    Segment s;
    s.arc = true;
    s.start = from;
    double along = dot(d2, d1);
    Vec3 inward = unit({d2[0] - along * d1[0], d2[1] - along * d1[1], d2[2] - along * d1[2]});
    for (int k = 0; k < 3; k++) {
        s.centre[k] = from[k] + r * inward[k];
        s.e1[k] = -inward[k];
    }
    s.e2 = d1;
    s.r0 = s.r1 = r;
    s.turn = turn;
    s.length = arc_length(s);
    s.dir_start = d1;
    s.dir_end = d2;
    for (int k = 0; k < 3; k++)
        s.end[k] = s.centre[k] + r * (std::cos(turn) * s.e1[k] + std::sin(turn) * s.e2[k]);
    return s;
}

void apply_limits(Segment &s, const Limits &l, double tolerance)
{
    double cap = kHuge, accel = kHuge;
    if (!s.arc) {
        for (int a = 0; a < 3; a++) {
            double share = std::fabs(s.end[a] - s.start[a]) / s.length; // of the path's speed
            if (share > 1e-12) {
                cap = std::min(cap, axis_speed(l, a) / share);
                accel = std::min(accel, l.max_accel_mm_s2[a] / share);
            }
        }
        s.cap = cap;
        s.accel = accel;
        return;
    }
    double planar = std::fabs(s.turn) * (s.r0 + s.r1) / 2 / s.length; // share in the plane
    double rise = std::fabs(s.rise) / s.length;
    double plane_accel = kHuge, across = kHuge;
    for (int k = 0; k < 3; k++) {
        if (planar > 1e-12 && in_plane(s, k)) {
            cap = std::min(cap, axis_speed(l, k) / planar);
            plane_accel = std::min(plane_accel, l.max_accel_mm_s2[k]);
        }
        if (rise > 1e-12 && std::fabs(s.axis[k]) > 1e-12) {
            cap = std::min(cap, axis_speed(l, k) / rise);
            across = std::min(across, l.max_accel_mm_s2[k] / rise);
        }
    }
    double rmin = std::min(s.r0, s.r1), rmax = std::max(s.r0, s.r1);
    if (planar > 1e-12) {
        // The turn: (planar speed)^2 / r within kTurnShare of the plane's acceleration.
        cap = std::min(cap, std::sqrt(kTurnShare * plane_accel * rmin) / planar);
        // A slice's chord of length c stands c^2 / 8r off the circle.
        cap = std::min(cap, std::sqrt(8 * rmax * tolerance) / slice_s(l) / planar);
    }
    s.plane_accel = planar > 1e-12 ? plane_accel : 0;
    s.turn_radius = rmin;
    s.planar = planar;
    s.across_accel = across;
    s.cap = cap;
    s.accel = arc_accel(s, s.feed > 0 ? std::min(cap, s.feed) : cap);
}

double arc_accel(const Segment &s, double top)
{
    if (!s.arc)
        return s.accel;
    if (s.planar <= 1e-12 || s.turn_radius <= 0)
        return s.across_accel;
    double v = std::min(top, s.cap) * s.planar;  // mm/s in the plane
    double turn = v * v / s.turn_radius;          // mm/s^2 towards the centre
    double left = std::sqrt(std::max(0.0, s.plane_accel * s.plane_accel - turn * turn));
    return std::min(left / s.planar, s.across_accel);
}

Segment piece(const Segment &s, double cut0, double cut1)
{
    Segment p = s;
    const double f0 = cut0, f1 = 1 - cut1;
    p.start = cut0 > 0 ? s.point(f0 * s.length) : s.start;
    p.end = cut1 > 0 ? s.point(f1 * s.length) : s.end;
    p.exact_end = s.exact_end && cut1 <= 0;
    if (!s.arc) {
        p.length = s.length * (f1 - f0);
        return p;
    }
    p.a0 = s.a0 + s.turn * f0;
    p.r0 = s.r0 + (s.r1 - s.r0) * f0;
    p.r1 = s.r0 + (s.r1 - s.r0) * f1;
    p.turn = s.turn * (f1 - f0);
    p.rise = s.rise * (f1 - f0);
    for (int k = 0; k < 3; k++)
        p.centre[k] = s.centre[k] + s.rise * f0 * s.axis[k];
    p.length = arc_length(p);
    p.dir_start = unit(arc_tangent(p, 0));
    p.dir_end = unit(arc_tangent(p, p.turn));
    return p;
}

double corner_speed(const Segment &a, const Segment &b, const Limits &l)
{
    if (dot(a.dir_end, b.dir_start) < 0)
        return 0; // turns back by more than 90 degrees
    double max_speed = kHuge;
    for (int k = 0; k < 3; k++) {
        double jump = std::fabs(b.dir_start[k] - a.dir_end[k]);
        if (jump > 1e-9)
            max_speed = std::min(max_speed, l.max_accel_mm_s2[k] * slice_s(l) / 2 / jump);
    }
    return max_speed;
}

} // namespace korva3_planner
