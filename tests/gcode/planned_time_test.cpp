// planned_time_test.cpp - the slices a planned program takes, as --check counts them:
// the same count as the planner stepped slice by slice, for moves of any length at once.
#include <gtest/gtest.h>

#include <string>

#include "gcode/path_moves.h"
#include "gcode/program.h"
#include "planner/slicer.h"

using namespace korva3_gcode;

namespace {

// The planned path's slices counted one next() at a time, as the card gets them.
uint64_t stepped_planned_slices(const Program &p, const Settings &s)
{
    korva3_planner::Slicer slicer(path_moves(p), planner_limits(s));
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
    // A move of 1e6 mm at the lowest feed, 0.001 mm/min: 1e9 minutes, planned without
    // stepping it; a lower feed is an error of its line.
    Program slow;
    std::vector<std::string> errors;
    ASSERT_TRUE(read_program("t.ngc", "G21 G91 G1 X1000000 F0.001\nM2\n", s, slow, errors));
    EXPECT_NEAR(planned_ms(slow, s), 6e13, 6e10);
    EXPECT_FALSE(read_program("t.ngc", "G21 G91 G1 X1 F0.0009\nM2\n", s, slow, errors));
}

// Every slice's figures are numbers: at stops, the ends of arcs given by R (the half
// circle's centre on its chord), full circles and tiny arcs.
TEST(GcodePlannedTime, NoSliceCarriesANonNumber)
{
    const char *programs[] = {
        "G21 G90 G17 G2 X10 Y0 R5 F600\nM2\n",
        "G21 G90 G17 G3 X0 Y0 I5 J0 F600\nG4 P0.1\nM2\n",
        "G21 G91 G17 G2 X0.002 Y0 R0.001 F3000\nM0\nG1 X1\nM2\n",
    };
    Settings s;
    for (const char *text : programs) {
        SCOPED_TRACE(text);
        Program p;
        std::vector<std::string> errors;
        ASSERT_TRUE(read_program("t.ngc", text, s, p, errors));
        korva3_planner::Slicer slicer(path_moves(p), planner_limits(s));
        korva3_planner::Slice slice;
        uint32_t action = 0;
        for (korva3_planner::Next n; (n = slicer.next(slice, action)) != korva3_planner::Next::Done;)
            if (n == korva3_planner::Next::Slice) {
                ASSERT_TRUE(std::isfinite(slice.speed_mm_s) && std::isfinite(slice.feed_mm_s));
            }
    }
}
