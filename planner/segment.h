// segment.h - one piece of the path the planner samples: a straight line or an arc
// (helix, spiral) in millimetres, with the speeds and acceleration the axes' limits
// allow along it.
#ifndef KORVA3_PLANNER_SEGMENT_H
#define KORVA3_PLANNER_SEGMENT_H

#include <cstdint>

#include "planner/limits.h"

namespace korva3_planner {

struct Segment {
    bool arc = false;
    MmPoint start{}, end{}; // mm
    double length = 0;      // mm of path
    // Arc: point(theta) = centre + r(theta) (cos(a0 + theta) e1 + sin(a0 + theta) e2)
    // + axis rise theta / turn, theta from 0 to turn; r goes from r0 to r1 (a spiral when
    // the program's end lies a little off its circle). e1, e2, axis: orthonormal.
    MmPoint centre{};       // mm
    Vec3 e1{}, e2{}, axis{}; // unit directions
    double r0 = 0, r1 = 0;  // radius at the start and the end, mm
    double a0 = 0;          // angle of the start from e1 towards e2, radians
    double turn = 0;        // radians, positive = from e1 towards e2
    double rise = 0;        // mm along axis over the whole arc (a helix)
    Vec3 dir_start{}, dir_end{}; // unit tangents at the ends

    // Speeds (mm/s) and acceleration (mm/s^2) along the path.
    double feed = 0;        // as programmed, before the override
    bool rapid = false;
    double cap = 0;         // highest speed the axes, arc chords and turns allow
    double accel = 0;       // path acceleration every axis allows (arcs: at the feed)
    // Arcs: what the tangential acceleration at a given speed is computed from
    // (arc_accel): the plane's acceleration (mm/s^2, per axis the least of the plane's
    // axes), the smallest radius (mm), the plane's share of the path's speed, and the
    // highest path acceleration the axis across the plane allows (mm/s^2).
    double plane_accel = 0, turn_radius = 0, planar = 1, across_accel = 0;
    double junction = 0;    // highest speed at its start (0 after a stop; huge when tangent)

    int line = 0;           // program line
    uint64_t step = 0;      // the move's tag (PathMove::step)
    bool exact_end = false; // ends where a program move ends: end_pulses is exact
    PulsePoint end_pulses{}; // that end rounded to pulses (to_pulses), where the card ends
    bool stop_after = false; // the machine stands at its end
    uint32_t action = 0;    // with stop_after: the caller's action there (if has_action)
    bool has_action = false;

    MmPoint point(double s) const; // the point s mm along it
};

// A line from a to b.
Segment line_segment(const Vec3 &a, const Vec3 &b);

// An arc from a round (cu, cv) in the plane of axes (u, v) by turn (radians, positive
// = counter-clockwise in (u, v)) to b; the third axis moves evenly (a helix).
Segment arc_segment(const Vec3 &a, const Vec3 &b, int u, int v, double cu, double cv,
                    double turn);

// The arc (a spiral when the two radii differ) from `from` round `centre` by `turn`
// radians (positive = from e1 towards e2) to `to`, in the plane of unit directions e1,
// e2 (axis across it); from, to and centre lie in one plane across `axis`.
Segment arc_round(const Vec3 &from, const Vec3 &to, const Vec3 &centre, const Vec3 &e1,
                  const Vec3 &e2, const Vec3 &axis, double turn);

// The arc of radius r that leaves `from` along unit direction d1 and turns by `turn`
// radians towards unit direction d2 (a blend between two lines).
Segment blend_arc(const Vec3 &from, const Vec3 &d1, const Vec3 &d2, double r, double turn);

// Of the plane's acceleration, the most an arc's turn takes (v^2 / r) at its highest
// speed; the rest, at least sqrt(1 - 0.8^2) = 60 %, is left along the path. (A trapezoid
// keeps one acceleration over a segment: 0.8 gave the shortest times over engraving,
// line-arc and short-line programs among 0.7, 0.8, 0.866 and 0.95.)
constexpr double kTurnShare = 0.8;

// Fills cap and accel from the limits: per axis velocity and acceleration; on arcs the
// turn (v^2 / r) within kTurnShare of the plane's acceleration, along the path what the
// turn leaves at the feed (arc_accel), and chords of a slice never further than
// `tolerance` from the circle.
void apply_limits(Segment &s, const Limits &l, double tolerance);

// The path acceleration (mm/s^2) along segment `s` when it runs at up to `top` mm/s: a
// line's own; on an arc what the plane's acceleration leaves beside the turn at `top`
// (the two at right angles: sqrt(a^2 - (v^2 / r)^2)), within the axis across the plane.
double arc_accel(const Segment &s, double top);

// Segment `s` without the fraction `cut0` of its start and `cut1` of its end (of a
// line's length, of an arc's turn), with its limits and tags.
Segment piece(const Segment &s, double cut0, double cut1);

// The highest speed at the junction of `a` into `b` when the path is not blended there:
// the direction changes within a slice, so each axis's change of speed stays within half
// of what its acceleration gives in one slice. Huge when the two are tangent; 0 where
// the path turns by more than 90 degrees (a reversal: its jump and the braking into it
// would add up to 1.5 times an axis's acceleration in one slice).
double corner_speed(const Segment &a, const Segment &b, const Limits &l);

constexpr double kHuge = 1e300;

} // namespace korva3_planner

#endif
