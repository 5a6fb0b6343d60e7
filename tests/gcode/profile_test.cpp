// profile_test.cpp - the slices a path takes, as --check counts them: the same count as
// the library's profile stepped slice by slice, for paths of any length at once.
#include <gtest/gtest.h>

#include <string>

#include "gcode/profile.h"
#include "gcode/path_moves.h"
#include "gcode/program.h"
#include "planner/slicer.h"

using namespace korva3_gcode;

namespace {

// The library's trapezoid stepped one slice at a time (see profile.h).
uint64_t stepped_slices(uint64_t length, uint64_t cap, uint64_t a, uint64_t s)
{
    uint64_t remaining = length, step = 0, n = 0;
    bool down = false;
    for (;;) {
        n++;
        if (length < 4 * s) {
            if (remaining < s)
                return n;
            step = s;
        } else if (down || remaining <= (step + a) * (step + a) / (2 * a)) {
            down = true;
            uint64_t q = step * step / (2 * remaining);
            step = step - q < a || q > step ? a : step - q;
        } else if (step < cap) {
            step = step + a < cap ? step + a : cap;
        }
        if (remaining <= step)
            return n;
        remaining -= step;
    }
}

} // namespace

TEST(GcodeProfile, SlicesAsTheLibrarysProfileStepsThem)
{
    const struct {
        uint32_t speed, accel, start_speed;
    } ramps[] = {{1, 10, 10}, {7, 1, 1}, {300, 10, 10}, {2040, 1, 1}, {2040, 250, 500},
                 {100, 3, 40}, {2040, 7, 13}};
    for (const auto &r : ramps)
        for (uint64_t length : {0ull, 1ull, 39ull, 40ull, 41ull, 4000ull, 123457ull, 2081000ull,
                                2081641ull, 9999991ull}) {
            EXPECT_EQ(profile_slices(length, r.speed, r.accel, r.start_speed),
                      stepped_slices(length, r.speed, r.accel, r.start_speed))
                << length << " pulses at " << r.speed << ", accel " << r.accel << ", start "
                << r.start_speed;
        }
}

TEST(GcodeProfile, LongSlowMovesAreCountedNotStepped)
{
    // 400 moves of 2e9 pulses at 1 pulse per slice: 2e9 - 5 slices each under the
    // default ramps (the last slice arrives at accel), 8e11 in all.
    std::string text = "G91 G1 F0.0001\n";
    for (int i = 0; i < 200; i++)
        text += "X2000000\nX-2000000\n";
    Program p;
    std::vector<std::string> errors;
    ASSERT_TRUE(read_program("t.ngc", text, Settings{}, p, errors));
    EXPECT_EQ(p.slices, 400 * (2000000000ull - 5));
}

namespace {

// The planned path's slices counted one next() at a time, as the card gets them.
uint64_t stepped_planned_slices(const Program &p, const Settings &s)
{
    korva3_planner::Slicer slicer(path_moves(p, s), planner_limits(s));
    korva3_planner::Slice slice;
    uint32_t action;
    uint64_t n = 0;
    for (korva3_planner::Next next; (next = slicer.next(slice, action)) !=
                                    korva3_planner::Next::Done;)
        n += next == korva3_planner::Next::Slice;
    return n;
}

} // namespace

TEST(GcodePlannedTime, CountedAtOnceAsSliceBySliceAndBoundedForAnyMove)
{
    const char *programs[] = {
        "G21 G90 G1 F300 X10 Y5\nG0 Z2\nG4 P0.5\nG1 X0 Y0 Z0 F1500\nM2\n",
        "G21 G91 G1 F25 Z-1\nG2 X10 Y0 I5 J0 F800\nG1 X0.001\nG1 X0.002\nM2\n",
        "G20 G90 G1 F12.5 X1 Y1\nG3 X2 Y0 R1\nG1 X0 Y0 F60\nM2\n"};
    Settings s;
    for (const char *text : programs) {
        Program p;
        std::vector<std::string> errors;
        ASSERT_TRUE(read_program("t.ngc", text, s, p, errors)) << text;
        uint64_t counted = 0;
        planned_ms(p, s, &counted);
        EXPECT_EQ(counted, stepped_planned_slices(p, s)) << text;
    }
    // A move of 1e6 mm at 0.0001 mm/min: 1e10 minutes, planned without stepping it.
    Program slow;
    std::vector<std::string> errors;
    ASSERT_TRUE(read_program("t.ngc", "G21 G91 G1 X1000000 F0.0001\nM2\n", s, slow, errors));
    EXPECT_NEAR(planned_ms(slow, s), 6e14, 6e11);
}
