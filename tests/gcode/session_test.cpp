// session_test.cpp - a session's state kept across MDI lines and programs, as its
// owner keeps it: modes, offsets, tools, parameters and the position carry over; a jog
// and a touch-off set them from outside.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gcode/stream.h"

using namespace korva3_gcode;

namespace {

struct Moves : MoveSink {
    std::vector<Move> moves;
    bool move(const Move &m) override
    {
        moves.push_back(m);
        return true;
    }
};

std::string at(const MmPoint &p)
{
    char text[96];
    std::snprintf(text, sizeof text, "X%g Y%g Z%g", p[0], p[1], p[2]);
    return text;
}

} // namespace

// One session, step after step: each row's outcome is where the machine stands after
// it (machine mm), or the step's first error.
TEST(GcodeSession, StateCarriesOverMdiLinesAndPrograms)
{
    enum Kind { Mdi, Program, Jog, TouchOffX };
    const struct {
        Kind kind;
        const char *text; // G-code, or for Jog "X Y Z" (machine mm), TouchOffX the value
        const char *after;
    } steps[] = {
        {Mdi, "G20", "X0 Y0 Z0"},
        {Mdi, "G0 X1", "X25.4 Y0 Z0"},   // inches, from the line before
        {Mdi, "G21 G1 X2", "MDI:1: G1 with no feed rate (F)"},
        {Mdi, "F100", "X25.4 Y0 Z0"},   // the failed line's G21 and G1 hold
        {Jog, "10 0 0", "X10 Y0 Z0"},
        {Mdi, "G10 L20 P0 X0", "X10 Y0 Z0"}, // touch-off: here reads X0
        {Mdi, "G1 X5", "X15 Y0 Z0"},
        {TouchOffX, "1", "X15 Y0 Z0"},    // the same by a call: here reads X1
        {Mdi, "G0 X0", "X14 Y0 Z0"},
        {Mdi, "#<_depth>=3 G91", "X14 Y0 Z0"},
        // a program starts with the session's G91, offset and parameters
        {Program, "G0 X1\nG90 G0 Z-#<_depth>", "X15 Y0 Z-3"},
        {Mdi, "G0 X[#<_depth>]", "X17 Y0 Z-3"}, // the program's G90
        // a program ending inside a sub leaves the main program's #1
        {Program, "#1=2\no1 sub\n#1=7\nM2\no1 endsub\no1 call [9]", "X17 Y0 Z-3"},
        {Mdi, "G0 Y#1", "X17 Y2 Z-3"},
        {Mdi, "G10 L1 P3 Z10", "X17 Y2 Z-3"},
        {Mdi, "T3 M6", "X17 Y2 Z-3"},
        {Mdi, "G43 G0 Z0", "X17 Y2 Z10"}, // tool 3's length from the session's table
    };
    const Settings settings;
    State state = initial_state(settings);
    Parameters parameters;
    for (const auto &s : steps) {
        std::vector<std::string> errors;
        Moves sink;
        double x = 0, y = 0, z = 0;
        switch (s.kind) {
        case Mdi:
            read_line(s.text, settings, state, parameters, sink, errors);
            break;
        case Program: {
            StringSource source(s.text);
            ProgramSummary summary;
            read_stream("p.ngc", source, settings, state, parameters, sink, summary, errors);
            break;
        }
        case Jog:
            ASSERT_EQ(std::sscanf(s.text, "%lf %lf %lf", &x, &y, &z), 3);
            set_position(state, {x, y, z});
            break;
        case TouchOffX:
            touch_off(state, 0, std::stod(s.text));
            break;
        }
        EXPECT_EQ(errors.empty() ? at(state.pos) : errors.front(), s.after) << s.text;
    }
}

// An MDI line moves and sets outputs with no End after it; a program's end turns the
// spindle and coolant off in the session too.
TEST(GcodeSession, EndsAndOutputs)
{
    const Settings settings; // spindle on output 0, mist 1, flood 2
    State state = initial_state(settings);
    Parameters parameters;
    std::vector<std::string> errors;
    Moves mdi;
    ASSERT_TRUE(read_line("M3 M8 G0 X1", settings, state, parameters, mdi, errors));
    ASSERT_EQ(mdi.moves.size(), 2u);
    EXPECT_EQ(mdi.moves[0].op, Op::Outputs);
    EXPECT_EQ(mdi.moves[1].op, Op::Line);
    EXPECT_EQ(state.outputs, 5u);
    Moves program;
    StringSource source("G0 X2\n");
    ProgramSummary summary;
    ASSERT_TRUE(read_stream("p.ngc", source, settings, state, parameters, program, summary,
                            errors));
    ASSERT_EQ(program.moves.size(), 2u);
    EXPECT_EQ(program.moves[1].op, Op::End);
    EXPECT_EQ(program.moves[1].outputs, 0u);
    EXPECT_EQ(state.outputs, 0u);
    // The program's extent starts where it starts.
    EXPECT_EQ(summary.extent.low, (MmPoint{1, 0, 0}));
    EXPECT_EQ(summary.extent.high, (MmPoint{2, 0, 0}));
}
