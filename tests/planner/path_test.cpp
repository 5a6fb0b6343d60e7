// path_test.cpp - the planner's slices against the program: exact ends, limits at
// corners and arcs, exact feeds, short segments at their feed, look-ahead junctions.
#include <algorithm>

#include "programs.h"

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
    std::vector<PathMove> moves = polyline_moves(points, feed);
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
    for (const LongLine &c : kLongLines) {
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
    for (const Curve &c : kCurves) {
        SCOPED_TRACE(c.name);
        Limits l;
        std::vector<Vec3> points = curve_points(c);
        double length = c.step * (points.size() - 1);
        Executed e = run_polyline(points, c.feed, l);
        double ideal_s = length / (c.feed / 60);
        EXPECT_LE(e.slices.size() * slice_s(l), ideal_s * 1.04);
    }
}

// A 90 degree corner is blended within the tolerance; the speed through it is the one
// its blend's radius allows (kTurnShare of the acceleration for the turn), not less, not
// more.
TEST(PlannerLookAhead, CornerSpeedComesFromTheTolerance)
{
    for (double tol : kCornerTolerances) {
        SCOPED_TRACE(tol);
        Limits l;
        l.tolerance = tol;
        Executed e = run_polyline(kCorner, 3000, l);
        // The blend: reach = tol cos45 / (1 - sin45), radius = reach.
        double r = tol * std::cos(kPi / 4) / (1 - std::sin(kPi / 4));
        double expected = std::sqrt(l.max_accel_mm_s2[0] * kTurnShare * r) * 60; // mm/min
        double lowest = 1e300;
        for (size_t k = 100; k + 100 < e.at.size(); k++)
            lowest = std::min(lowest, executed_speed(e, l, k));
        EXPECT_NEAR(lowest, expected, 0.03 * expected + 2 * 60.0 / l.scale[0] / slice_s(l));
    }
}

// Corners of every kind, sharp or reversing, in 2 and 3 axes: no axis breaks a limit.
TEST(PlannerLimits, SharpCornersStayWithinTheLimits)
{
    for (const Polyline &c : kSharpCorners) {
        SCOPED_TRACE(c.name);
        run_polyline(c.points, c.feed, sharp_limits());
    }
}

// Arcs: followed within the tolerance, a full circle, a helix, an arc entered at an
// angle from a line, all within the limits and ending exactly.
TEST(PlannerArcs, ArcsAndHelicesFollowTheCircle)
{
    for (const ArcCase &c : kArcs) {
        SCOPED_TRACE(c.name);
        Limits l;
        std::vector<PathMove> moves = arc_moves(c);
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
    Limits l = odd_scale_limits();
    std::vector<PathMove> moves = random_segments_with_stops();
    Executed e = execute(moves, l);
    expect_within_limits(e, l);
    for (int a = 0; a < 3; a++)
        EXPECT_EQ(e.at.back()[a], end_pulses(moves[moves.size() - 2], l)[a]);
    EXPECT_EQ(e.actions, (std::vector<uint32_t>{999, 1999, 2999}));
}
