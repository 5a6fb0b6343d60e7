// panel_lines_test.cpp - the operator's lines from the panel's page into controller
// requests: each verb with good values, and what the page would never send refused.
#include <gtest/gtest.h>

#include "gcode/panel_lines.h"

namespace {

using korva3_control::Ask;
using korva3_tool::PanelLine;
using korva3_tool::read_panel_line;

struct Case {
    const char *line;
    bool ok;
    Ask ask;
    int axis;
    double number;
    bool continuous;
    int direction;
    int at_line;
};

const Case kCases[] = {
    {"3 mdi G0 X10 Y-2", true, Ask::Mdi, 0, 0, false, 1, 0},
    {"4 jog x -0.1", true, Ask::Jog, 0, -0.1, false, 1, 0},
    {"5 jog Z +", true, Ask::Jog, 2, 0, true, 1, 0},
    {"0 jog Y -", true, Ask::Jog, 1, 0, true, -1, 0},
    {"0 renew", true, Ask::JogRenew, 0, 0, false, 1, 0},
    {"0 cancel", true, Ask::JogCancel, 0, 0, false, 1, 0},
    {"6 home all", true, Ask::Home, -1, 0, false, 1, 0},
    {"7 home Y", true, Ask::Home, 1, 0, false, 1, 0},
    {"8 touch X 1.5", true, Ask::TouchOff, 0, 1.5, false, 1, 0},
    {"9 from 134", true, Ask::RunFrom, 0, 0, false, 1, 134},
    {"10 reset", true, Ask::Reset, 0, 0, false, 1, 0},
    // What the page never sends.
    {"mdi G0", false, Ask::Mdi, 0, 0, false, 1, 0},          // no number
    {"1 mdi", false, Ask::Mdi, 0, 0, false, 1, 0},           // empty line
    {"1 jog A 1", false, Ask::Jog, 0, 0, false, 1, 0},       // no such axis
    {"1 jog X 0", false, Ask::Jog, 0, 0, false, 1, 0},       // no step
    {"1 jog X 20000", false, Ask::Jog, 0, 0, false, 1, 0},   // beyond 10 m
    {"1 jog X nan", false, Ask::Jog, 0, 0, false, 1, 0},
    {"1 touch X", false, Ask::TouchOff, 0, 0, false, 1, 0},  // no value
    {"1 from 0", false, Ask::RunFrom, 0, 0, false, 1, 0},
    {"1 from 2.5", false, Ask::RunFrom, 0, 0, false, 1, 0},
    {"1 open ../etc/passwd", false, Ask::Load, 0, 0, false, 1, 0},
    {"1 fly", false, Ask::Mdi, 0, 0, false, 1, 0},
};

TEST(PanelLines, ReadIntoRequests)
{
    korva3_gcode::Settings settings;
    settings.max_velocity = {3000, 2000, 1000};
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.line);
        PanelLine out;
        std::string why;
        ASSERT_EQ(read_panel_line(c.line, settings, out, why), c.ok) << why;
        if (!c.ok) {
            EXPECT_FALSE(why.empty());
            continue;
        }
        EXPECT_EQ(out.request.ask, c.ask);
        EXPECT_EQ(out.request.axis, c.axis);
        EXPECT_DOUBLE_EQ(out.request.number, c.number);
        EXPECT_EQ(out.request.continuous, c.continuous);
        EXPECT_EQ(out.request.direction, c.direction);
        EXPECT_EQ(out.request.line, c.at_line);
        if (c.ask == Ask::Jog) { // at the axis's highest speed
            EXPECT_EQ(out.request.feed_mm_min, settings.max_velocity[c.axis]);
        }
    }
}

TEST(PanelLines, MdiKeepsTheWholeLine)
{
    PanelLine out;
    std::string why;
    ASSERT_TRUE(read_panel_line("12 mdi G1 X1 (a comment) F100", korva3_gcode::Settings{}, out, why));
    EXPECT_EQ(out.id, 12);
    EXPECT_EQ(out.request.text, "G1 X1 (a comment) F100");
}

} // namespace
