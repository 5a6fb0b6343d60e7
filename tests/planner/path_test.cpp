// path_test.cpp - the planner's slices against the program: exact ends, limits at
// corners and arcs, exact feeds, short segments at their feed, look-ahead junctions.
#include <algorithm>

#include "executed.h"

using namespace planner_test;

namespace {

// Distance (mm) of a point in pulses from the polyline through `points` (mm).
double off_polyline(const PulsePoint &p, const std::vector<Vec3> &points, const Limits &l)
{
    Vec3 q{p[0] / l.scale[0], p[1] / l.scale[1], p[2] / l.scale[2]};
    double best = 1e300;
    for (size_t i = 1; i < points.size(); i++) {
        const Vec3 &a = points[i - 1], &b = points[i];
        double ab2 = 0, t = 0;
        for (int k = 0; k < 3; k++) {
            ab2 += (b[k] - a[k]) * (b[k] - a[k]);
            t += (q[k] - a[k]) * (b[k] - a[k]);
        }
        t = ab2 > 0 ? std::clamp(t / ab2, 0.0, 1.0) : 0;
        double d2 = 0;
        for (int k = 0; k < 3; k++) {
            double d = a[k] + t * (b[k] - a[k]) - q[k];
            d2 += d * d;
        }
        best = std::min(best, std::sqrt(d2));
    }
    return best;
}

// Lines through `points` (the first is 0, 0, 0) at `feed`, run and checked: limits, the
// exact end, every point within the tolerance (and half a pulse of rounding).
Executed run_polyline(const std::vector<Vec3> &points, double feed, const Limits &l)
{
    std::vector<PathMove> moves;
    for (size_t i = 1; i < points.size(); i++)
        moves.push_back(line_to(points[i][0], points[i][1], points[i][2], feed, int(i)));
    Executed e = execute(moves, l);
    expect_within_limits(e, l);
    for (int a = 0; a < 3; a++)
        EXPECT_EQ(e.at.back()[a], end_pulses(moves.back(), l)[a]) << "XYZ"[a];
    double worst = 0;
    for (const PulsePoint &p : e.at)
        worst = std::max(worst, off_polyline(p, points, l));
    EXPECT_LE(worst, l.tolerance + 0.9 / l.scale[0]);
    return e;
}

double top_speed(const Executed &e, const Limits &l)
{
    double top = 0;
    for (size_t k = 1; k < e.at.size(); k++)
        top = std::max(top, executed_speed(e, l, k));
    return top;
}

} // namespace

// One long line at feeds from a sliver of a pulse per slice to the axis's limit: the
// speed held is the feed, and the time is the length over it plus the ramps.
TEST(PlannerFeed, LongLineRunsAtItsFeed)
{
    const struct {
        double feed;        // mm/min
        double length;      // mm
    } cases[] = {
        {25, 2},      // a PCB plunge: 0.42 pulses per slice
        {3, 0.5},     // 0.05 pulses per slice
        {1200, 100},
        {6000, 300},  // the axis's limit
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.feed);
        Limits l;
        Executed e = run_polyline({{0, 0, 0}, {c.length, 0, 0}}, c.feed, l);
        double ideal_s = c.length / (c.feed / 60);
        // Up and down: half a ramp's time each lost.
        double ramp_s = c.feed / 60 / l.max_accel_mm_s2[0];
        double took = e.slices.size() * slice_s(l);
        EXPECT_NEAR(took, ideal_s + ramp_s, 0.01 * ideal_s + 2 * slice_s(l));
        // Mid-way, a window of 100 slices moves at the feed.
        size_t mid = e.at.size() / 2;
        double mm = double(e.at[mid + 50][0] - e.at[mid - 50][0]) / l.scale[0];
        EXPECT_NEAR(mm / (100 * slice_s(l)) * 60, c.feed, 0.01 * c.feed + 60.0 / l.scale[0] / 0.1);
    }
}

// Many short segments, collinear or turning gently: the path runs within a few per cent
// of its length over its feed.
TEST(PlannerLookAhead, ShortSegmentsRunAtTheirFeed)
{
    const struct {
        const char *name;
        double step;    // mm per segment
        double bend;    // radians each segment turns
        double feed;    // mm/min
    } cases[] = {
        {"collinear 0.05 mm", 0.05, 0, 1200},
        {"gentle curve 0.1 mm", 0.1, 0.002, 1500},
        {"wave 0.2 mm", 0.2, 0.004, 3000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Limits l;
        std::vector<Vec3> points{{0, 0, 0}};
        double angle = 0, length = 0;
        for (int i = 0; i < 2000; i++) {
            angle += c.bend;
            Vec3 p = points.back();
            points.push_back({p[0] + c.step * std::cos(angle), p[1] + c.step * std::sin(angle), 0});
            length += c.step;
        }
        Executed e = run_polyline(points, c.feed, l);
        double ideal_s = length / (c.feed / 60);
        EXPECT_LE(e.slices.size() * slice_s(l), ideal_s * 1.04);
    }
}

// A 90 degree corner is blended within the tolerance; the speed through it is the one
// its blend's radius allows (half the acceleration for the turn), not less, not more.
TEST(PlannerLookAhead, CornerSpeedComesFromTheTolerance)
{
    const double tolerances[] = {0.01, 0.05, 0.2};
    for (double tol : tolerances) {
        SCOPED_TRACE(tol);
        Limits l;
        l.tolerance = tol;
        Executed e = run_polyline({{0, 0, 0}, {20, 0, 0}, {20, 20, 0}}, 3000, l);
        // The blend: reach = tol cos45 / (1 - sin45), radius = reach.
        double r = tol * std::cos(kPi / 4) / (1 - std::sin(kPi / 4));
        double expected = std::sqrt(l.max_accel_mm_s2[0] / 2 * r) * 60; // mm/min
        double lowest = 1e300;
        for (size_t k = 100; k + 100 < e.at.size(); k++)
            lowest = std::min(lowest, executed_speed(e, l, k));
        EXPECT_NEAR(lowest, expected, 0.03 * expected + 2 * 60.0 / l.scale[0] / slice_s(l));
    }
}

// Corners of every kind, sharp or reversing, in 2 and 3 axes: no axis breaks a limit.
TEST(PlannerLimits, SharpCornersStayWithinTheLimits)
{
    const struct {
        const char *name;
        std::vector<Vec3> points;
        double feed;
    } cases[] = {
        {"zigzag", {{0, 0, 0}, {5, 1, 0}, {0, 2, 0}, {5, 3, 0}, {0, 4, 0}}, 6000},
        {"reversal", {{0, 0, 0}, {10, 0, 0}, {0, 0, 0}}, 6000},
        {"3d corner", {{0, 0, 0}, {5, 5, 5}, {10, 0, 0}, {10, 0, -3}}, 4000},
        {"tiny steps", {{0, 0, 0}, {0.001, 0, 0}, {0.001, 0.001, 0}, {0, 0.001, 0}}, 6000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Limits l;
        l.max_accel_mm_s2 = {300, 200, 100};
        run_polyline(c.points, c.feed, l);
    }
}

// Arcs: followed within the tolerance, a full circle, a helix, an arc entered at an
// angle from a line, all within the limits and ending exactly.
TEST(PlannerArcs, ArcsAndHelicesFollowTheCircle)
{
    const struct {
        const char *name;
        double x, y, z, cx, cy, turn, feed;
        bool from_side; // entered from a line along Y (not tangent)
    } cases[] = {
        {"quarter", 10, 10, 0, 0, 10, kPi / 2, 3000, false},
        {"full circle", 0, 0, 0, 0, 5, 2 * kPi, 2000, false},
        {"helix", 0, 0, -6, 0, 4, -6 * kPi, 1500, false},
        {"small radius fast", 0, 1, 0, 0, 0.5, kPi, 6000, false},
        {"entered from the side", 10, 10, 0, 0, 10, kPi / 2, 3000, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Limits l;
        std::vector<PathMove> moves;
        moves.push_back(arc_to(c.x, c.y, c.z, c.cx, c.cy, c.turn, c.feed));
        if (c.from_side) { // a line along -Y first, then the arc turning up from it
            moves.insert(moves.begin(), line_to(0, -5, 0, c.feed));
            moves.insert(moves.begin() + 1, line_to(0, 0, 0, c.feed));
        }
        Executed e = execute(moves, l);
        expect_within_limits(e, l);
        for (int a = 0; a < 3; a++)
            EXPECT_EQ(e.at.back()[a], end_pulses(moves.back(), l)[a]);
        double r = std::hypot(c.cx, c.cy);
        double total = std::fabs(c.turn);
        double worst = 0;
        bool below = false, on_arc = !c.from_side; // from the side: after the line back up
        for (const PulsePoint &p : e.at) {
            double x = p[0] / l.scale[0], y = p[1] / l.scale[1];
            below = below || y < -4.99;
            on_arc = on_arc || (below && std::fabs(y) < 1e-9);
            if (on_arc)
                worst = std::max(worst, std::fabs(std::hypot(x - c.cx, y - c.cy) - r));
        }
        (void)total;
        EXPECT_LE(worst, l.tolerance + 0.9 / l.scale[0]);
        EXPECT_GT(top_speed(e, l), 0);
    }
}

// A long program of many segments at odd scales: every pulse arrives, the card ends at
// the rounded last point, and Stop points (actions) come in order with the machine at
// their exact points.
TEST(PlannerPulses, NoPulseLostOverManySegments)
{
    Limits l;
    l.scale = {400.3, 123.7, 800};
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
    Executed e = execute(moves, l);
    expect_within_limits(e, l);
    for (int a = 0; a < 3; a++)
        EXPECT_EQ(e.at.back()[a], end_pulses(moves[moves.size() - 2], l)[a]);
    EXPECT_EQ(e.actions, (std::vector<uint32_t>{999, 1999, 2999}));
}
