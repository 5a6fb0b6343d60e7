// junction_test.cpp - junctions where arcs meet lines or arcs, in one plane or out of
// it: rounded within the tolerance and fast through it; and no slice beyond an axis's
// acceleration at reversals, unrounded corners, a helix and curves, on slices long
// enough that rounding hides nothing.
#include <algorithm>
#include <cmath>

#include "programs.h"

using namespace planner_test;

namespace {

// Distance (mm) of `q` from move `m`, which starts at `from`.
double off_move(const PathMove &m, const Vec3 &from, const Vec3 &q)
{
    if (m.kind == Kind::Line) {
        double ab2 = 0, t = 0;
        for (int k = 0; k < 3; k++) {
            ab2 += (m.end[k] - from[k]) * (m.end[k] - from[k]);
            t += (q[k] - from[k]) * (m.end[k] - from[k]);
        }
        t = ab2 > 0 ? std::clamp(t / ab2, 0.0, 1.0) : 0;
        double d2 = 0;
        for (int k = 0; k < 3; k++)
            d2 += std::pow(from[k] + t * (m.end[k] - from[k]) - q[k], 2);
        return std::sqrt(d2);
    }
    // XY arcs without a helix.
    double a0 = std::atan2(from[1] - m.centre[1], from[0] - m.centre[0]);
    double a = std::atan2(q[1] - m.centre[1], q[0] - m.centre[0]) - a0;
    a = m.turn > 0 ? std::fmod(a + 8 * kPi, 2 * kPi) : -std::fmod(-a + 8 * kPi, 2 * kPi);
    double r = std::hypot(from[0] - m.centre[0], from[1] - m.centre[1]);
    if (a / m.turn <= 1)
        return std::hypot(std::hypot(q[0] - m.centre[0], q[1] - m.centre[1]) - r, q[2] - from[2]);
    return std::min(std::hypot(q[0] - from[0], q[1] - from[1]),
                    std::hypot(q[0] - m.end[0], q[1] - m.end[1]));
}

double off_path(const std::vector<PathMove> &moves, const PulsePoint &p, const Limits &l)
{
    Vec3 q{p[0] / l.scale[0], p[1] / l.scale[1], p[2] / l.scale[2]};
    Vec3 from{};
    double best = 1e300;
    for (const PathMove &m : moves) {
        best = std::min(best, off_move(m, from, q));
        from = m.end;
    }
    return best;
}

struct Junction {
    const char *name;
    std::vector<PathMove> moves; // at 3000 mm/min
    double lowest_mm_min;        // the speed through the junction is at least this
};

// Radius 5 mm arcs, each junction in the middle of the program.
const Junction kJunctions[] = {
    // +X, then a counter-clockwise quarter leaving along +Y: 90 degrees.
    {"line into arc at 90", {line_to(10, 0, 0, 3000), arc_to(5, 5, 0, 5, 0, kPi / 2, 3000)}, 100},
    // The arc leaving at 45 degrees: its centre at 135 degrees to +X from the junction.
    {"line into arc at 45",
     {line_to(10, 0, 0, 3000),
      arc_to(10, 5 * std::sqrt(2.0), 0, 10 - 5 / std::sqrt(2.0), 5 / std::sqrt(2.0), kPi / 2,
             3000)},
     250},
    // A quarter from (0, 0) round (0, 5) to (5, 5) ending along +Y, then +X: 90 degrees.
    {"arc into line at 90", {arc_to(5, 5, 0, 0, 5, kPi / 2, 3000), line_to(15, 5, 0, 3000)}, 100},
    // Two quarters meeting at 90 degrees, the second clockwise round (5, 0).
    {"arc into arc at 90",
     {arc_to(5, 5, 0, 0, 5, kPi / 2, 3000), arc_to(10, 0, 0, 5, 0, -kPi / 2, 3000)},
     100},
    // Out of the arc's plane: a plunge along -Z into a quarter leaving along +X, and a
    // quarter ending along +Y into a lift along +Z.
    {"plunge into arc", {line_to(0, 0, -1, 3000), arc_to(5, 5, -1, 0, 5, kPi / 2, 3000)}, 100},
    {"arc into lift", {arc_to(5, 5, 0, 0, 5, kPi / 2, 3000), line_to(5, 5, 1, 3000)}, 100},
};

} // namespace

// Lines into arcs, arcs into lines and arcs into arcs at an angle, in and out of a plane: rounded within the
// tolerance, within the limits, the exact end, and far faster through the junction than
// a turn within one slice (15 mm/min at 90 degrees on this machine).
TEST(PlannerJunctions, ArcJunctionsAreRoundedWithinTheTolerance)
{
    for (const Junction &c : kJunctions) {
        SCOPED_TRACE(c.name);
        Limits l;
        Executed e = execute(c.moves, l);
        expect_within_limits(e, l);
        for (int a = 0; a < 3; a++)
            EXPECT_EQ(e.at.back()[a], end_pulses(c.moves.back(), l)[a]);
        double worst = 0, lowest = 1e300;
        for (size_t k = 1; k < e.at.size(); k++) {
            worst = std::max(worst, off_path(c.moves, e.at[k], l));
            if (k > 50 && k + 50 < e.at.size())
                lowest = std::min(lowest, executed_speed(e, l, k));
        }
        EXPECT_LE(worst, l.tolerance + 0.9 / l.scale[0]);
        EXPECT_GE(lowest, c.lowest_mm_min);
    }
}

// Reversals, corners the planner does not round (G64 P0) and a line into a helix on
// 5 ms slices, where an axis's acceleration is 12.5 pulses a slice per slice and one
// slice beyond it stands out of the two pulses of rounding.
TEST(PlannerJunctions, UnroundedJunctionsStayWithinTheAcceleration)
{
    PathMove helix = arc_to(10, 10, -3, 10, 5, kPi, 3000);
    PathMove corner = line_to(10, 10, 0, 3000);
    corner.tolerance = 0;
    const std::vector<std::vector<PathMove>> programs = {
        {line_to(10, 0, 0, 3000), line_to(0, 0, 0, 3000)},             // reversal
        {line_to(10, 0, 0, 3000), line_to(0, 1, 0, 3000)},             // nearly back
        {line_to(10, 0, 0, 3000), helix},                              // out of the plane
        {[] { PathMove m = line_to(10, 0, 0, 3000); m.tolerance = 0; return m; }(), corner},
    };
    for (size_t i = 0; i < programs.size(); i++) {
        SCOPED_TRACE(i);
        Limits l;
        l.slice_us = 5000;
        expect_within_limits(execute(programs[i], l), l);
    }
}

// Curves the path accelerates along while it turns (an arc's acceleration along the path
// comes from the speed it runs at): a sine of 0.05 mm lines and a circle entered at
// rest, fast, on 5 ms slices (12.5 pulses a slice per slice), within every axis's limit.
TEST(PlannerJunctions, CurvesStayWithinTheAccelerationAtEverySpeed)
{
    std::vector<PathMove> sine;
    for (int i = 1; i <= 600; i++)
        sine.push_back(line_to(i * 0.05, 2 * std::sin(i * 0.05 / 2), 0, 6000));
    const std::vector<std::vector<PathMove>> programs = {
        sine, {arc_to(0, 0, 0, 0, 10, 2 * kPi, 6000)}};
    for (size_t i = 0; i < programs.size(); i++) {
        SCOPED_TRACE(i);
        Limits l;
        l.slice_us = 5000;
        l.tolerance = 0.05;
        Executed e = execute(programs[i], l);
        expect_within_limits(e, l);
        for (int a = 0; a < 3; a++)
            EXPECT_EQ(e.at.back()[a], end_pulses(programs[i].back(), l)[a]);
    }
}
