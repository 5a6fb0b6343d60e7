// cycles_test.cpp - canned drilling cycles: the Z sequence of the moves each becomes
// (retract planes, pecks, repeats, the cycle going on line after line until G80), and
// their errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gcode/modal.h"
#include "gcode/program.h"

using namespace korva3_gcode;

namespace {

// The program's moves, in mm (1000 pulses per mm): "G0 X1 Y2" for a move in X and Y,
// "G0 Z1" / "G1 Z-3" for a rapid / feed in Z, "P0.5" for a dwell.
std::string moves_of(const std::string &text)
{
    Program p;
    std::vector<std::string> errors;
    if (!read_program("t.ngc", text, Settings{}, p, errors)) {
        ADD_FAILURE() << text << ": " << errors.front();
        return "";
    }
    std::string out;
    PulsePoint at{};
    for (const Move &m : p.moves) {
        std::string s;
        if (m.op == Op::Dwell) {
            s = "P" + number_text(m.ms / 1000.0);
        } else if (m.op == Op::Line) {
            s = m.rapid ? "G0" : "G1";
            const PulsePoint to = korva3_planner::to_pulses(m.end, Settings{}.scale);
            if (to[0] != at[0] || to[1] != at[1])
                s += " X" + number_text(to[0] / 1000.0) + " Y" + number_text(to[1] / 1000.0);
            if (to[2] != at[2])
                s += " Z" + number_text(to[2] / 1000.0);
            at = to;
        } else {
            continue;
        }
        out += (out.empty() ? "" : ", ") + s;
    }
    return out;
}

} // namespace

TEST(GcodeCycles, TheirMoves)
{
    const struct {
        const char *text;
        const char *moves;
    } cases[] = {
        {"G0 Z5\nG98 G81 X1 Y2 Z-3 R1 F100", "G0 Z5, G0 X1 Y2, G0 Z1, G1 Z-3, G0 Z5"},
        {"G0 Z5\nG99 G81 X1 Y2 Z-3 R1 F100", "G0 Z5, G0 X1 Y2, G0 Z1, G1 Z-3, G0 Z1"},
        // below R: up to R first; G98 out to R, the higher
        {"G0 Z1\nG98 G81 X1 Z-3 R2 F100", "G0 Z1, G0 Z2, G0 X1 Y0, G1 Z-3, G0 Z2"},
        {"G0 Z5\nG98 G82 X1 Z-3 R1 P0.5 F100", "G0 Z5, G0 X1 Y0, G0 Z1, G1 Z-3, P0.5, G0 Z5"},
        // G83: out to R after each peck, back to 0.254 mm above the depth
        {"G0 Z5\nG98 G83 Z-4 R1 Q2 F100",
         "G0 Z5, G0 Z1, G1 Z-1, G0 Z1, G0 Z-0.746, G1 Z-3, G0 Z1, G0 Z-2.746, G1 Z-4, G0 Z5"},
        // G73: 0.254 mm up after each peck
        {"G0 Z5\nG98 G73 Z-4 R1 Q2 F100",
         "G0 Z5, G0 Z1, G1 Z-1, G0 Z-0.746, G1 Z-3, G0 Z-2.746, G1 Z-4, G0 Z5"},
        {"G0 Z5\nG98 G83 Z-3 R1 Q2 F100", "G0 Z5, G0 Z1, G1 Z-1, G0 Z1, G0 Z-0.746, G1 Z-3, G0 Z5"},
        {"G0 Z5\nG99 G85 Z-2 R1 F100", "G0 Z5, G0 Z1, G1 Z-2, G1 Z1"},
        {"G0 Z5\nG98 G89 Z-2 R1 P1 F100", "G0 Z5, G0 Z1, G1 Z-2, P1, G1 Z5"},
        // G91: R from the Z the line began at, the bottom from R, X added for each repeat
        {"G0 Z5\nG91 G98 G81 X2 Z-3 R-4 L3 F100",
         "G0 Z5, G0 X2 Y0, G0 Z1, G1 Z-2, G0 Z5, G0 X4 Y0, G0 Z1, G1 Z-2, G0 Z5, "
         "G0 X6 Y0, G0 Z1, G1 Z-2, G0 Z5"},
        // G90: the repeats drill the same hole
        {"G0 Z5\nG99 G81 X1 Z-3 R1 L2 F100", "G0 Z5, G0 X1 Y0, G0 Z1, G1 Z-3, G0 Z1, G1 Z-3, G0 Z1"},
        // the cycle goes on at the next X or Y, with its R and Z, until G80
        {"G0 Z5\nG99 G81 X1 Z-3 R1 F100\nX2\nG80\nG0 X3",
         "G0 Z5, G0 X1 Y0, G0 Z1, G1 Z-3, G0 Z1, G0 X2 Y0, G1 Z-3, G0 Z1, G0 X3 Y0"},
        {"G0 Z5\nG98 G81 X1 Z-3 R1 F100\nY1 Z-2\nG0 X2",
         "G0 Z5, G0 X1 Y0, G0 Z1, G1 Z-3, G0 Z5, G0 X1 Y1, G0 Z1, G1 Z-2, G0 Z5, G0 X2 Y1"},
        // R given on a line with no hole: kept for the holes after it
        {"G0 Z5\nG99 G81 R1 F100\nX1 Z-3", "G0 Z5, G0 X1 Y0, G0 Z1, G1 Z-3, G0 Z1"},
        // G99 at the start; G91's R from the initial level, the Z the series began at
        {"G0 Z5\nG81 X1 Z-3 R1 F100", "G0 Z5, G0 X1 Y0, G0 Z1, G1 Z-3, G0 Z1"},
        {"G0 Z10\nG91 G81 X5 R-8 Z-4 F100\nX5",
         "G0 Z10, G0 X5 Y0, G0 Z2, G1 Z-2, G0 Z2, G0 X10 Y0, G1 Z-2, G0 Z2"},
        // G98 after G99 lines: back to the initial level, the next hole reached there
        {"G0 Z10\nG81 X1 Z-1 R2 F100\nG98 X3",
         "G0 Z10, G0 X1 Y0, G0 Z2, G1 Z-1, G0 Z2, G0 X3 Y0 Z10, G0 Z2, G1 Z-1, G0 Z10"},
        {"G0 Z10\nG81 X1 Z-1 R2 F100\nX2 R5\nG98 X3 R1", // above R: reached at its Z
         "G0 Z10, G0 X1 Y0, G0 Z2, G1 Z-1, G0 Z2, G0 X2 Y0 Z5, G1 Z-1, G0 Z5, G0 X3 Y0, "
         "G0 Z1, G1 Z-1, G0 Z10"},
        {"G0 Z10\nG81 X1 Z-1 R2 F100\nG0 Z5\nG98 G81 X2 Z-1 R2", // a new series
         "G0 Z10, G0 X1 Y0, G0 Z2, G1 Z-1, G0 Z2, G0 Z5, G0 X2 Y0, G0 Z2, G1 Z-1, G0 Z5"},
        {"G20 G0 Z1\nG99 G81 Z-0.5 R0.1 F10", "G0 Z25.4, G0 Z2.54, G1 Z-12.7, G0 Z2.54"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(moves_of(c.text), c.moves) << c.text;
}

TEST(GcodeCycles, ItsErrors)
{
    const struct {
        const char *text;
        const char *error;
    } cases[] = {
        {"G81 X1 Z-3 F100", "t.ngc:1: G81 needs R, the plane it starts from"},
        {"G81 X1 R1 F100", "t.ngc:1: G81 needs Z, the bottom of the hole"},
        {"G83 X1 Z-3 R1 F100", "t.ngc:1: G83 needs Q, the depth of each peck, more than 0"},
        {"G73 X1 Z-3 R1 Q0 F100", "t.ngc:1: G73 needs Q, the depth of each peck, more than 0 (Q0)"},
        {"G83 X1 Z-3 R1 Q-1 F100", "t.ngc:1: G83 needs Q, the depth of each peck, more than 0 (Q-1)"},
        {"G82 X1 Z-3 R1 F100", "t.ngc:1: G82 needs P, the dwell at the bottom in seconds (0 or more)"},
        {"G81 X1 Z2 R1 F100", "t.ngc:1: G81: R1 is below the hole's bottom (Z2)"},
        {"G91 G81 X1 Z1 R1 F100", "t.ngc:1: G81: R1 is below the hole's bottom (Z1)"},
        {"G81 X1 Z-3 R1 L0 F100", "t.ngc:1: L0: the repeats are a whole number, 1 or more"},
        {"G81 X1 Z-3 R1 L1.5 F100", "t.ngc:1: L1.5: the repeats are a whole number, 1 or more"},
        {"G18 G81 X1 Z-3 R1 F100",
         "t.ngc:1: G81 in G18: canned cycles drill along Z, in the XY plane (G17) only"},
        {"G81 X1 Z-3 R1", "t.ngc:1: G81 with no feed rate (F)"},
        {"G81 X1 Z-3 R1 Q1 F100", "t.ngc:1: Q is used only by G73, G83 (the peck), M61 (the tool in use) and G64 (not used there)"},
        {"G83 X1 Z-1000 R0 Q0.001 F100", "t.ngc:1: G83: 1e+06 pecks on one line (at most 100000)"},
        {"G81 X1 Z-3 R1 F100\nG80 X2", "t.ngc:2: X, Y or Z with no motion mode in force (G0, G1, G2 or G3)"},
        {"G81 X1 Z-3 R1 F100\nG0 X2\nG81 X3", "t.ngc:3: G81 needs R, the plane it starts from"},
        {"G98 G99", "t.ngc:1: G98 and G99 on one line: both of the canned cycle return mode group"},
    };
    for (const auto &c : cases) {
        Program p;
        std::vector<std::string> errors;
        ASSERT_FALSE(read_program("t.ngc", c.text, Settings{}, p, errors)) << c.text;
        EXPECT_EQ(errors.front(), c.error) << c.text;
    }
}
