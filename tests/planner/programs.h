// programs.h - the programs the planner tests run, with their machines and live
// controls: the tests of what a run does take them one kind at a time, the streaming
// test every one of them (every_program).
#ifndef KORVA3_TESTS_PLANNER_PROGRAMS_H
#define KORVA3_TESTS_PLANNER_PROGRAMS_H

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "executed.h"

namespace planner_test {

// Lines through `points` (the first is 0, 0, 0) at feed_mm_min, numbered from 1.
inline std::vector<PathMove> polyline_moves(const std::vector<Vec3> &points, double feed_mm_min)
{
    std::vector<PathMove> moves;
    for (size_t i = 1; i < points.size(); i++)
        moves.push_back(line_to(points[i][0], points[i][1], points[i][2], feed_mm_min, int(i)));
    return moves;
}

// One long line along X, from a sliver of a pulse per slice to the axis's limit.
struct LongLine {
    double feed;   // mm/min
    double length; // mm
};
inline const LongLine kLongLines[] = {
    {25, 2},     // a PCB plunge: 0.42 pulses per slice
    {3, 0.5},    // 0.05 pulses per slice
    {1200, 100},
    {6000, 300}, // the axis's limit
};

// 2000 short segments, collinear or turning gently.
struct Curve {
    const char *name;
    double step; // mm per segment
    double bend; // radians each segment turns
    double feed; // mm/min
};
inline const Curve kCurves[] = {
    {"collinear 0.05 mm", 0.05, 0, 1200},
    {"gentle curve 0.1 mm", 0.1, 0.002, 1500},
    {"wave 0.2 mm", 0.2, 0.004, 3000},
};
inline std::vector<Vec3> curve_points(const Curve &c)
{
    std::vector<Vec3> points{{0, 0, 0}};
    double angle = 0;
    for (int i = 0; i < 2000; i++) {
        angle += c.bend;
        Vec3 p = points.back();
        points.push_back({p[0] + c.step * std::cos(angle), p[1] + c.step * std::sin(angle), 0});
    }
    return points;
}

// A 90 degree corner at 3000 mm/min, blended within each tolerance (mm).
inline const std::vector<Vec3> kCorner{{0, 0, 0}, {20, 0, 0}, {20, 20, 0}};
inline const double kCornerTolerances[] = {0.01, 0.05, 0.2};

// Corners of every kind, sharp or reversing, in 2 and 3 axes, on a machine whose axes
// accelerate differently (sharp_limits).
struct Polyline {
    const char *name;
    std::vector<Vec3> points;
    double feed; // mm/min
};
inline const Polyline kSharpCorners[] = {
    {"zigzag", {{0, 0, 0}, {5, 1, 0}, {0, 2, 0}, {5, 3, 0}, {0, 4, 0}}, 6000},
    {"reversal", {{0, 0, 0}, {10, 0, 0}, {0, 0, 0}}, 6000},
    {"3d corner", {{0, 0, 0}, {5, 5, 5}, {10, 0, 0}, {10, 0, -3}}, 4000},
    {"tiny steps", {{0, 0, 0}, {0.001, 0, 0}, {0.001, 0.001, 0}, {0, 0.001, 0}}, 6000},
};
inline Limits sharp_limits()
{
    Limits l;
    l.max_accel_mm_s2 = {300, 200, 100};
    return l;
}

// Arcs: a quarter, a full circle, a helix, a small radius fast, one entered at an angle
// from a line along -Y.
struct ArcCase {
    const char *name;
    double x, y, z, cx, cy, turn, feed;
    bool from_side; // entered from a line along Y (not tangent)
};
inline const ArcCase kArcs[] = {
    {"quarter", 10, 10, 0, 0, 10, kPi / 2, 3000, false},
    {"full circle", 0, 0, 0, 0, 5, 2 * kPi, 2000, false},
    {"helix", 0, 0, -6, 0, 4, -6 * kPi, 1500, false},
    {"small radius fast", 0, 1, 0, 0, 0.5, kPi, 6000, false},
    {"entered from the side", 10, 10, 0, 0, 10, kPi / 2, 3000, true},
};
inline std::vector<PathMove> arc_moves(const ArcCase &c)
{
    std::vector<PathMove> moves;
    if (c.from_side) { // a line along -Y first, then the arc turning up from it
        moves.push_back(line_to(0, -5, 0, c.feed));
        moves.push_back(line_to(0, 0, 0, c.feed));
    }
    moves.push_back(arc_to(c.x, c.y, c.z, c.cx, c.cy, c.turn, c.feed));
    return moves;
}

// 3000 random short lines at random feeds, a Stop (action i) after every 1000th, at
// scales that round nearly every point (odd_scale_limits).
inline std::vector<PathMove> random_segments_with_stops()
{
    std::vector<PathMove> moves;
    uint32_t state = 12345;
    auto rnd = [&state] {
        state = state * 1103515245u + 12345u;
        return double(state >> 8) / double(1u << 24) - 0.5;
    };
    double x = 0, y = 0, z = 0;
    for (int i = 0; i < 3000; i++) {
        x += rnd() * 0.7;
        y += rnd() * 0.7;
        z += rnd() * 0.1;
        moves.push_back(line_to(x, y, z, 2000 + 3000 * (rnd() + 0.5), i + 1));
        if (i % 1000 == 999) {
            PathMove stop;
            stop.kind = Kind::Stop;
            stop.action = uint32_t(i);
            moves.push_back(stop);
        }
    }
    return moves;
}
inline Limits odd_scale_limits()
{
    Limits l;
    l.scale = {400.3, 123.7, 800};
    return l;
}

// Live controls: `each` sees the slicer before every slice (executed.h).
using LiveControls = std::function<void(Slicer &, size_t)>;

// A hold a quarter of the way along the first of two 50 mm lines at each feed.
inline const double kHoldFeeds[] = {600, 3000, 6000};
inline std::vector<PathMove> hold_moves(double feed)
{
    return {line_to(50, 0, 0, feed, 1), line_to(50, 50, 0, feed, 2)};
}
inline size_t hold_slice(double feed, const Limits &l)
{
    return size_t(12.5 / (feed / 60) / slice_s(l));
}
inline LiveControls hold_at(size_t slice)
{
    return [slice](Slicer &s, size_t k) {
        if (k == slice)
            s.hold();
    };
}

// The override set one value after the other at slice 1000 of a 100 mm line at
// 1500 mm/min; `factor` of the feed after them.
struct OverrideCase {
    std::vector<uint32_t> settings;
    double factor;
};
inline const OverrideCase kOverrides[] = {
    {{50}, 0.5}, {{50, 50}, 0.5}, {{200, 50}, 0.5}, {{50, 100}, 1.0}, {{150}, 1.5},
};
inline LiveControls override_at(size_t slice, const std::vector<uint32_t> &settings)
{
    return [slice, settings](Slicer &s, size_t k) {
        if (k == slice)
            for (uint32_t p : settings)
                s.set_override(p);
    };
}

// Stop at slice 1000 of a 100 mm line at 3000 mm/min.
inline LiveControls stop_at(size_t slice)
{
    return [slice](Slicer &s, size_t k) {
        if (k == slice)
            s.stop();
    };
}

struct Program {
    std::string name;
    std::vector<PathMove> moves;
    Limits limits;
    LiveControls controls; // may be empty
};

// Every program above, as the tests run it.
inline std::vector<Program> every_program()
{
    std::vector<Program> all;
    for (const LongLine &c : kLongLines)
        all.push_back({"long line F" + std::to_string(c.feed),
                       polyline_moves({{0, 0, 0}, {c.length, 0, 0}}, c.feed), Limits{}, {}});
    for (const Curve &c : kCurves)
        all.push_back({c.name, polyline_moves(curve_points(c), c.feed), Limits{}, {}});
    for (double tol : kCornerTolerances) {
        Limits l;
        l.tolerance = tol;
        all.push_back({"corner " + std::to_string(tol), polyline_moves(kCorner, 3000), l, {}});
    }
    for (const Polyline &c : kSharpCorners)
        all.push_back({c.name, polyline_moves(c.points, c.feed), sharp_limits(), {}});
    for (const ArcCase &c : kArcs)
        all.push_back({c.name, arc_moves(c), Limits{}, {}});
    all.push_back({"random segments with stops", random_segments_with_stops(),
                   odd_scale_limits(), {}});
    for (double feed : kHoldFeeds)
        all.push_back({"hold F" + std::to_string(feed), hold_moves(feed), Limits{},
                       hold_at(hold_slice(feed, Limits{}))});
    for (const OverrideCase &c : kOverrides)
        all.push_back({"override " + std::to_string(c.settings.front()) + " .. " +
                           std::to_string(c.settings.back()),
                       {line_to(100, 0, 0, 1500)}, Limits{}, override_at(1000, c.settings)});
    all.push_back({"stop", {line_to(100, 0, 0, 3000)}, Limits{}, stop_at(1000)});
    return all;
}

} // namespace planner_test

#endif
