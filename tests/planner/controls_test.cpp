// controls_test.cpp - live controls on the planned path: feed hold (to rest within the
// limits and without overshoot, then on to the exact end), the override (of the
// programmed feed, never of a speed already overridden), stop.
#include "programs.h"

using namespace planner_test;

namespace {

double window_speed(const Executed &e, const Limits &l, size_t at, size_t n)
{
    double mm = double(e.at[at + n][0] - e.at[at][0]) / l.scale[0];
    return mm / (n * slice_s(l)) * 60;
}

} // namespace

// A hold at full speed comes to rest within the braking distance, on the path, within
// the limits; resume goes on and the card still ends exactly at the end.
TEST(PlannerControls, HoldStopsWithinBrakingDistanceAndResumes)
{
    for (double feed : kHoldFeeds) {
        SCOPED_TRACE(feed);
        Limits l;
        std::vector<PathMove> moves = hold_moves(feed);
        size_t hold_k = hold_slice(feed, l); // a quarter of the first line
        Executed e = execute(moves, l, hold_at(hold_k));
        EXPECT_EQ(e.holds, 1u);
        expect_within_limits(e, l);
        EXPECT_EQ(e.at.back(), end_pulses(moves.back(), l));
        // Where it came to rest: the slice after the hold that ends at speed 0.
        size_t rest = hold_k;
        while (rest < e.slices.size() && e.slices[rest].speed_mm_s > 0)
            rest++;
        rest++; // e.at[k + 1] is where slice k ends
        double v = e.slices[hold_k - 1].speed_mm_s; // when the hold came
        double braking_mm = v * v / (2 * l.max_accel_mm_s2[0]) + v * slice_s(l);
        double went = double(e.at[rest][0] - e.at[hold_k][0]) / l.scale[0];
        EXPECT_LE(went, braking_mm + 1 / l.scale[0]);
        EXPECT_GE(went, v * v / (2 * l.max_accel_mm_s2[0]) - v * slice_s(l));
    }
}

// The override scales the programmed feed; setting it twice is setting it once, and
// 100 % brings the feed back.
TEST(PlannerControls, OverrideAppliesToTheProgrammedFeedOnce)
{
    for (const OverrideCase &c : kOverrides) {
        Limits l;
        std::vector<PathMove> moves{line_to(100, 0, 0, 1500)};
        Executed e = execute(moves, l, override_at(1000, c.settings));
        expect_within_limits(e, l);
        EXPECT_EQ(e.at.back(), end_pulses(moves.back(), l));
        EXPECT_NEAR(window_speed(e, l, 2000, 200), 1500 * c.factor, 1500 * c.factor * 0.01);
        EXPECT_NEAR(e.slices[2100].feed_mm_s * 60, 1500 * c.factor, 1e-9);
    }
}

// Stop: decelerates to rest and ends there, before the program's end.
TEST(PlannerControls, StopEndsAtRest)
{
    Limits l;
    std::vector<PathMove> moves{line_to(100, 0, 0, 3000)};
    Executed e = execute(moves, l, stop_at(1000));
    EXPECT_EQ(e.holds, 0u);
    expect_within_limits(e, l);
    EXPECT_LT(e.at.back()[0], end_pulses(moves.back(), l)[0]);
    EXPECT_LT(e.slices.size(), 1200u);
}
