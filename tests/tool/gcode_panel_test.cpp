// gcode_panel_test.cpp - what the panel shows of a G-code program before and while it
// runs: when each line starts in the plan (the progress and time left), as the planner
// steps it slice by slice; the planned outline drawn on the page.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gcode/gcode_panel.h"
#include "gcode/path_moves.h"

using namespace korva3_gcode;
using korva3_tool::PlannedLine;

namespace {

Program read(const char *text, const Settings &s)
{
    Program p;
    std::vector<std::string> errors;
    EXPECT_TRUE(read_program("t.ngc", text, s, p, errors)) << text;
    return p;
}

// Each line's start stepped one slice at a time, as the card gets them.
std::vector<PlannedLine> stepped_lines(const Program &p, const Settings &s)
{
    korva3_planner::Slicer slicer(path_moves(p), planner_limits(s));
    korva3_planner::Slice slice;
    uint32_t action = 0;
    std::vector<PlannedLine> out;
    double t = 0;
    for (korva3_planner::Next n; (n = slicer.next(slice, action)) != korva3_planner::Next::Done;) {
        const bool is_slice = n == korva3_planner::Next::Slice;
        const int line = is_slice ? slice.line : p.moves[action].line;
        if (out.empty() || out.back().line != line)
            out.push_back({line, t});
        t += is_slice ? s.slice_us / 1000.0 : p.moves[action].op == Op::Dwell ? p.moves[action].ms : 0;
    }
    return out;
}

} // namespace

TEST(GcodePanelPlan, LinesStartAsSteppedAndAddUpToThePlannedTime)
{
    const char *programs[] = {
        "G21 G90 G1 F300 X10 Y5\nG0 Z2\nG4 P0.5\nG1 X0 Y0 Z0 F1500\nM2\n",
        "G21 G91 G1 F25 Z-1\nG2 X10 Y0 I5 J0 F800\nG1 X0.001\nG1 X0.002\nM2\n",
        "G21 G90 G64 P0.05 G1 F3000 X50\nX50 Y50\nX0\nY0\nM2\n"};
    Settings s;
    for (const char *text : programs) {
        SCOPED_TRACE(text);
        const Program p = read(text, s);
        double total = 0;
        const std::vector<PlannedLine> lines = korva3_tool::planned_lines(p, s, total);
        const std::vector<PlannedLine> stepped = stepped_lines(p, s);
        ASSERT_EQ(lines.size(), stepped.size());
        for (size_t k = 0; k < lines.size(); k++) {
            EXPECT_EQ(lines[k].line, stepped[k].line);
            EXPECT_NEAR(lines[k].start_ms, stepped[k].start_ms, 1e-6) << "line " << lines[k].line;
        }
        EXPECT_NEAR(total, planned_ms(p, s), 1e-6);
    }
}

// A full circle of radius 10 round (10, 0) from the origin: chords on the circle, the
// end exact; thinned to at most `max_points` points, the last kept.
TEST(GcodePanelPlan, OutlineFollowsArcsAndIsThinnedToItsBound)
{
    Settings s;
    const Program p = read("G21 G90 G0 X0 Y0\nG2 X0 Y0 I10 J0 F600\nG1 X5 Y3\nM2\n", s);
    for (size_t max_points : {size_t(100000), size_t(20)}) {
        SCOPED_TRACE(max_points);
        const auto pts = korva3_tool::planned_outline(p, max_points);
        ASSERT_LE(pts.size(), max_points);
        ASSERT_GE(pts.size(), 10u);
        for (size_t k = 0; k + 1 < pts.size(); k++)
            EXPECT_NEAR(std::hypot(pts[k][0] - 10, pts[k][1]), 10, 1e-9) << k;
        EXPECT_EQ(pts.back()[0], 5);
        EXPECT_EQ(pts.back()[1], 3);
        EXPECT_EQ(pts.back()[2], 0); // a cut, not a rapid
    }
}
