// executed.h - a planned program run through the slicer as the card would run it: the
// positions after every slice, and the checks every run must pass.
#ifndef KORVA3_TESTS_PLANNER_EXECUTED_H
#define KORVA3_TESTS_PLANNER_EXECUTED_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "planner/slicer.h"

namespace planner_test {

using namespace korva3_planner;

struct Executed {
    std::vector<PulsePoint> at{PulsePoint{}}; // after every slice, from 0
    std::vector<Slice> slices;
    std::vector<uint32_t> actions;
    size_t holds = 0;
};

// What next() answered, recorded (a hold resumed at once); false at the end.
inline bool record(Executed &e, Slicer &slicer, Next n, const Slice &s, uint32_t action)
{
    if (n == Next::Done)
        return false;
    if (n == Next::Action)
        e.actions.push_back(action);
    if (n == Next::Held) {
        e.holds++;
        slicer.resume();
    }
    if (n != Next::Slice)
        return true;
    PulsePoint p = e.at.back();
    for (int a = 0; a < 3; a++)
        p[a] += s.pulses[a];
    e.at.push_back(p);
    e.slices.push_back(s);
    return true;
}

constexpr size_t kMostSteps = 50000000; // a run that goes on longer is a fault

// Runs `moves` given at once; `each` sees the slicer before every slice (live controls).
inline Executed execute(const std::vector<PathMove> &moves, const Limits &l,
                        std::function<void(Slicer &, size_t)> each = {})
{
    Executed e;
    Slicer slicer(moves, l);
    Slice s;
    uint32_t action;
    for (size_t guard = 0; guard < kMostSteps; guard++) {
        if (each)
            each(slicer, e.slices.size());
        Next n = slicer.next(s, action);
        if (!record(e, slicer, n, s, action))
            break;
    }
    return e;
}

// Runs `moves` as a caller that reads them as it goes: pushed one at a time while the
// slicer wants more, the last followed by finish(); `each` as in execute(), once before
// every slice whatever pushes it takes. `most_held`: the most segments the slicer held.
inline Executed execute_streamed(const std::vector<PathMove> &moves, const Limits &l,
                                 std::function<void(Slicer &, size_t)> each = {},
                                 size_t *most_held = nullptr)
{
    Executed e;
    Slicer slicer(l);
    size_t pushed = 0;
    auto feed = [&] {
        while (slicer.wants_more() && pushed < moves.size())
            slicer.push(moves[pushed++]);
        if (pushed == moves.size())
            slicer.finish();
    };
    Slice s;
    uint32_t action;
    for (size_t guard = 0; guard < kMostSteps; guard++) {
        feed();
        if (each)
            each(slicer, e.slices.size());
        Next n;
        while ((n = slicer.next(s, action)) == Next::NeedMore) {
            if (!slicer.wants_more()) {
                ADD_FAILURE() << "NeedMore, but no more wanted, after " << pushed << " moves";
                return e;
            }
            feed();
        }
        if (most_held)
            *most_held = std::max(*most_held, slicer.window_segments());
        if (!record(e, slicer, n, s, action))
            break;
    }
    return e;
}

// A straight move to (x, y, z) mm at feed_mm_min.
inline PathMove line_to(double x, double y, double z, double feed_mm_min, int line = 1)
{
    PathMove m;
    m.kind = Kind::Line;
    m.line = line;
    m.end = {x, y, z};
    m.feed_mm_s = feed_mm_min / 60;
    return m;
}

// Where the card must end after move `m`: its end rounded to pulses.
inline PulsePoint end_pulses(const PathMove &m, const Limits &l)
{
    return to_pulses(m.end, l.scale);
}

// An arc in the XY plane round (cx, cy) by turn radians to (x, y, z).
inline PathMove arc_to(double x, double y, double z, double cx, double cy, double turn,
                       double feed_mm_min, int line = 1)
{
    PathMove m = line_to(x, y, z, feed_mm_min, line);
    m.kind = Kind::Arc;
    m.centre = {cx, cy, 0};
    m.turn = turn;
    return m;
}

// Every slice within each axis's velocity and acceleration, from the executed positions
// (allowing the one pulse that rounding moves a position: velocity + 1, acceleration + 2).
inline void expect_within_limits(const Executed &e, const Limits &l)
{
    double t = slice_s(l);
    size_t broken = 0;
    for (int a = 0; a < 3; a++) {
        double v = axis_speed(l, a) * l.scale[a] * t + 1;
        double acc = l.max_accel_mm_s2[a] * l.scale[a] * t * t + 2;
        for (size_t k = 1; k < e.at.size(); k++) {
            double d = double(e.at[k][a] - e.at[k - 1][a]);
            double d0 = k > 1 ? double(e.at[k - 1][a] - e.at[k - 2][a]) : 0;
            if (std::fabs(d) > v + 1e-9 || std::fabs(d - d0) > acc + 1e-9) {
                if (broken++ < 3)
                    ADD_FAILURE() << "slice " << k << " axis " << "XYZ"[a] << ": " << d0
                                  << " then " << d << " pulses (max " << v << ", change "
                                  << acc << ")";
            }
        }
        double last = double(e.at.back()[a] - e.at[e.at.size() - 2][a]); // to rest after it
        EXPECT_LE(std::fabs(last), acc + 1e-9) << "the last slice of " << "XYZ"[a];
    }
    EXPECT_EQ(broken, 0u);
}

// Path speed (mm/min) of slice k, from the executed positions.
inline double executed_speed(const Executed &e, const Limits &l, size_t k)
{
    double d2 = 0;
    for (int a = 0; a < 3; a++) {
        double d = (e.at[k][a] - e.at[k - 1][a]) / l.scale[a];
        d2 += d * d;
    }
    return std::sqrt(d2) / slice_s(l) * 60;
}

} // namespace planner_test

#endif
