// read_test.cpp - reading G-code programs: every error with its line, nothing planned
// from a bad program, the words CAM software writes, settings.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "gcode/program.h"
#include "gcode/settings.h"

using namespace korva3_gcode;

namespace {

std::vector<std::string> errors_of(const std::string &text, Settings s = Settings{})
{
    Program p;
    std::vector<std::string> errors;
    bool ok = read_program("t.ngc", text, s, p, errors);
    EXPECT_EQ(ok, errors.empty());
    if (!ok) {
        EXPECT_TRUE(p.moves.empty()) << "a bad program must plan no move";
    }
    return errors;
}

} // namespace

TEST(GcodeRead, EveryErrorWithItsLine)
{
    const struct {
        const char *text;
        std::string error; // the first error, without "t.ngc:"
        Settings settings;
    } cases[] = {
        {"G1 X1 F100\nQ5", "2: Q is used only by G73, G83 (the peck), M61 (the tool in use) and G64 (not used there)", {}},
        {"G64 P-1", "1: G64 P must not be negative", {}},
        {"G4 P1 G64", "1: G4 and G64 on one line: both take P", {}},
        {"G61 G64", "1: G61 and G64 on one line: both of the path control group", {}},
        {"G0 A5", "1: 'A' words are not supported (the card has X, Y and Z)", {}},
        {"G41", "1: G41 is not supported (cutter compensation: have the CAM system write the path already compensated)", {}},
        {"G17.1", "1: G17.1 is not supported", {}},
        {"M4", "1: M4 is not supported (reverse spindle)", {}},
        {"G0 G1 X1", "1: G0 and G1 on one line: both of the motion group", {}},
        {"G20 G21", "1: G20 and G21 on one line: both of the units group", {}},
        {"M3 M5", "1: M3 and M5 on one line: both of the spindle group", {}},
        {"X1 X2", "1: X twice on one line", {}},
        {"G1 X1", "1: G1 with no feed rate (F)", {}},
        {"X1", "1: X, Y or Z with no motion mode in force (G0, G1, G2 or G3)", {}},
        {"G0 X1\nG80\nX2", "3: X, Y or Z with no motion mode in force (G0, G1, G2 or G3)", {}},
        {"(abc", "1: comment '(' not closed on its line", {}},
        {"G", "1: G needs a number", {}},
        {"X1.2.3", "1: X needs a number", {}},
        {"G0 [1]", "1: '[' starts no word: an expression is a word's value (X[1+2])", {}},
        {"G0 N5 X1", "1: N (line number) must come first on its line", {}},
        {"G92", "1: G92 needs X, Y or Z", {}},
        {"G92 G0 X1", "1: G92 and G0 on one line", {}},
        {"G4", "1: G4 needs P, the dwell in seconds (0 or more)", {}},
        {"G0 X1 P2", "1: P is used only by G2, G3 (turns), G4 (dwell), G10 (which offset), G64 (path tolerance) and G82, G89 (dwell at the bottom)", {}},
        {"G1 X1 I2 F5", "1: I, J, K and R are used only by G2 and G3", {}},
        {"F-1", "1: F must not be negative", {}},
        {"F100\nG17 G2 X1 K1", "2: K is no offset of the XY plane (G17)", {}},
        {"F100\nG2 X10", "2: G2 needs I and J, or R", {}},
        {"F100\nG2 X10 I3", "2: the end point is not on the arc's circle: radius 3 at the start, 7 at the end", {}},
        {"F100\nG2 X10.03 I5", "2: the end point is not on the arc's circle: radius 5 at the start, 5.03 at the end", {}},
        {"F100\nG2 X10 I5 P1.5", "2: G2 P1.5: the turns are a whole number 1 .. 1000", {}},
        {"G81 G0 X1 R1 Z0", "1: G81 and G0 on one line: both of the motion group", {}},
        {"F100\nG2 X10 I5.1", "2: the end point is not on the arc's circle: radius 5.1 at the start, 4.9 at the end", {}},
        {"F100\nG2 X10 R4.99", "2: R4.99 cannot reach the end point (10 away)", {}},
        {"F100\nG2 X0 Y0 R5", "2: a full circle needs I, J or K, not R", {}},
        {"F100\nG2 X10 R5 I5", "2: R and I, J or K on one arc", {}},
        {"F100\nG2 I0 J0", "2: the arc's centre is its start point", {}},
        {"G0 X3000000", "1: X goes to 3e+06 mm, beyond the card's reach (2.14748e+09 pulses)", {}},
        {"G4 P100000", "1: G4 P100000: at most a day (86400 s)", {}},
        {"G0 X-2000000\nX2000000", "2: a move of more than 2.14748e+09 pulses on X", {}},
        {"F1\nG2 X0.002 I700000", "2: an arc of radius 700000: more than 6.83565e+08 pulses", {}},
    };
    for (const auto &c : cases) {
        std::vector<std::string> errors = errors_of(c.text, c.settings);
        ASSERT_FALSE(errors.empty()) << c.text;
        EXPECT_EQ(errors.front(), "t.ngc:" + c.error) << c.text;
    }
}

TEST(GcodeRead, ValuesBeyondTheirRangeAreErrorsOfEveryWord)
{
    const std::string huge(400, '9'); // beyond a double: read as infinity
    const struct {
        std::string text;
        std::string error; // the first error, without "t.ngc:"
    } cases[] = {
        {"G92 X" + huge, "1: X" + huge.substr(0, 16) + "...: out of range (at most 1e9 in size)"},
        {"G1 X" + huge + " F100", "1: X" + huge.substr(0, 16) + "...: out of range (at most 1e9 in size)"},
        {"G1 X1 F1000000001", "1: F1000000001: out of range (at most 1e9 in size)"},
        {"G0 Y-1000000000.5", "1: Y-1000000000.5: out of range (at most 1e9 in size)"},
        {"F100\nG2 X1 I" + huge, "2: I" + huge.substr(0, 16) + "...: out of range (at most 1e9 in size)"},
        {"G4 P" + huge, "1: P" + huge.substr(0, 16) + "...: out of range (at most 1e9 in size)"},
        {"N" + huge + " G0 X1", "1: N" + huge.substr(0, 16) + "...: out of range (at most 1e9 in size)"},
        {"G10000000000", "1: G10000000000: out of range (at most 1e9 in size)"},
        {"M3 S-" + huge, "1: S-" + huge.substr(0, 15) + "...: out of range (at most 1e9 in size)"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> errors = errors_of(c.text);
        ASSERT_FALSE(errors.empty()) << c.text;
        EXPECT_EQ(errors.front(), "t.ngc:" + c.error) << c.text;
    }
    // The whole file is refused: both lines reported, nothing planned.
    EXPECT_EQ(errors_of("G92 X" + huge + "\nG1 X" + huge + " F100\n").size(), 2u);
    EXPECT_TRUE(errors_of("G92 X1000000000\nG0 X1000000000\n").empty()); // the bound itself
}

TEST(GcodeRead, EveryBadLineIsReportedAndNothingAfterM2IsRead)
{
    std::vector<std::string> errors = errors_of("G1 X1\nG0 X2\nG41\nM2\nQ1 (after the end)");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].substr(0, 8), "t.ngc:1:");
    EXPECT_EQ(errors[1].substr(0, 8), "t.ngc:3:");
}

TEST(GcodeRead, CamHeaderCommentsLineNumbersAndCase)
{
    const char *text = "%\n"
                       "(program 1001 - contour)\n"
                       "( T1 D=3.175 flat end mill ) ; tool table comment\n"
                       "N10 G90 G94 G17 G21 G40 G49 G80 G54\n"
                       "n20 m3 s12000 (spindle)\n"
                       "N30 g0 x 1 0 . 5 y-2.25\n"
                       "N40 G1 Z-1. F300.\n"
                       "N50 X12 ; modal G1\n"
                       "N60 Y 0\n"
                       "N70 m5\n"
                       "N80 M30\n"
                       "%\n";
    Program p;
    std::vector<std::string> errors;
    ASSERT_TRUE(read_program("cam.ngc", text, Settings{}, p, errors)) << errors.front();
    EXPECT_EQ(korva3_planner::to_pulses(p.end, Settings{}.scale), (PulsePoint{12000, 0, -1000}));
    ASSERT_EQ(p.moves.size(), 7u); // outputs, 4 lines, outputs, end
    EXPECT_EQ(p.moves[0].op, Op::Outputs);
    EXPECT_EQ(p.moves[0].outputs, 1u);
    EXPECT_EQ(p.moves[1].line, 6);
    EXPECT_EQ(p.moves[6].op, Op::End);
}

TEST(GcodeRead, ExtentHoldsTheFarthestPointsOfArcs)
{
    Program p;
    std::vector<std::string> errors;
    ASSERT_TRUE(read_program("t.ngc", "G0 X5 Y5\nG92 X0 Y0\nG2 X20 I10 F100\nG18 G3 X0 I-10\n",
                             Settings{}, p, errors));
    // Machine millimetres: from (5, 5) over (15, 15) to (25, 5), then back under Z -10.
    EXPECT_EQ(p.extent.low, (MmPoint{0, 0, -10}));
    EXPECT_EQ(p.extent.high, (MmPoint{25, 15, 0}));
}

// Each program arc is one move: its plane, its centre and its whole turn as written,
// whatever its angle; a helix's third axis in its end.
TEST(GcodeRead, EachArcIsOneMove)
{
    const double pi = 3.14159265358979323846;
    const struct {
        const char *text;
        Op op;
        int u, v;
        double turn;   // radians
        MmPoint centre;  // pulses (across the plane: the start)
        PulsePoint to;
    } cases[] = {
        {"G2 X20 I10 F100", Op::Arc, 0, 1, -pi, {10000, 0, 0}, {20000, 0, 0}},
        {"G3 X20 Z4 I10 F100", Op::Arc, 0, 1, pi, {10000, 0, 0}, {20000, 0, 4000}},
        {"G18 G2 X20 Y3 I10 F100", Op::Arc, 0, 2, pi, {10000, 0, 0}, {20000, 3000, 0}},
        {"G19 G3 Y5 Z5 R-5 F100", Op::Arc, 1, 2, 1.5 * pi, {0, 5000, 0}, {0, 5000, 5000}},
        {"G2 I10 F100", Op::Circle, 0, 1, -2 * pi, {10000, 0, 0}, {0, 0, 0}},
        // P turns; an end off the circle within 0.028 mm; G0 G80 (a CAM header) on one line
        {"G3 X20 I10 P3 F100", Op::Arc, 0, 1, 5 * pi, {10000, 0, 0}, {20000, 0, 0}},
        {"G2 I10 Z-3 P2 F100", Op::Circle, 0, 1, -4 * pi, {10000, 0, 0}, {0, 0, -3000}},
        {"G2 X20.027 I10 F100", Op::Arc, 0, 1, -pi, {10000, 0, 0}, {20027, 0, 0}},
        {"G0 G80 G17\nG2 X20 I10 F100", Op::Arc, 0, 1, -pi, {10000, 0, 0}, {20000, 0, 0}},
    };
    for (const auto &c : cases) {
        Program p;
        std::vector<std::string> errors;
        ASSERT_TRUE(read_program("t.ngc", c.text, Settings{}, p, errors)) << c.text;
        ASSERT_EQ(p.moves.size(), 2u) << c.text; // the arc, the end
        const Move &m = p.moves[0];
        EXPECT_EQ(m.op, c.op) << c.text;
        EXPECT_EQ(m.u, c.u) << c.text;
        EXPECT_EQ(m.v, c.v) << c.text;
        EXPECT_NEAR(m.turn, c.turn, 1e-9) << c.text;
        const Settings s;
        EXPECT_NEAR(m.centre[m.u] * s.scale[m.u], c.centre[m.u], 1e-6) << c.text;
        EXPECT_NEAR(m.centre[m.v] * s.scale[m.v], c.centre[m.v], 1e-6) << c.text;
        EXPECT_EQ(korva3_planner::to_pulses(m.end, s.scale), c.to) << c.text;
    }
}

// G61 and G61.1 stop at every move's end, G64 blends within P (program units) or the
// machine's tolerance; the mode holds until the next path-control word.
TEST(GcodeRead, PathControlIsModalPerMove)
{
    Program p;
    std::vector<std::string> errors;
    ASSERT_TRUE(read_program("t.ngc",
                             "G1 X1 F100\nG61 X2\nG64 P0.002 X3\nX4\nG20 G64 P0.01 Q0.1\n"
                             "X5\nG64\nX6\nG61.1\nX7\n",
                             Settings{}, p, errors));
    const struct {
        bool exact_stop;
        double tolerance; // mm
    } want[] = {{false, -1}, {true, -1}, {false, 0.002}, {false, 0.002},
                {false, 0.254}, {false, -1}, {true, -1}};
    ASSERT_EQ(p.moves.size(), 8u); // 7 lines, the end
    for (size_t i = 0; i < 7; i++) {
        EXPECT_EQ(p.moves[i].exact_stop, want[i].exact_stop) << i;
        EXPECT_NEAR(p.moves[i].tolerance, want[i].tolerance, 1e-12) << i;
    }
}

TEST(GcodeSettings, ScaleOptionAndMachineFile)
{
    Settings s;
    std::string error;
    ASSERT_TRUE(parse_scale("X=800,z=400", s, error));
    EXPECT_EQ(s.scale, (std::array<double, 3>{800, 1000, 400}));
    ASSERT_TRUE(parse_scale("250", s, error));
    EXPECT_EQ(s.scale, (std::array<double, 3>{250, 250, 250}));
    for (const char *bad : {"X=0", "Q=5", "X=1,Y", "X=-3", ""})
        EXPECT_FALSE(parse_scale(bad, s, error)) << bad;

    std::string path = ::testing::TempDir() + "machine.toml";
    std::ofstream(path) << "slice_us = 2000\nrapid = 3000.5\n[scale]\nx = 80\ny = 80.5\n"
                           "[outputs]\nflood = -1\n";
    Settings m;
    ASSERT_TRUE(read_machine_file(path, m, error)) << error;
    EXPECT_EQ(m.slice_us, 2000u);
    EXPECT_EQ(m.rapid, 3000.5);
    EXPECT_EQ(m.scale, (std::array<double, 3>{80, 80.5, 1000}));
    EXPECT_EQ(m.outputs.flood, -1);
    EXPECT_EQ(m.outputs.spindle, 0);

    std::ofstream(path) << "accel = 10\n\nspeed = 3\n";
    EXPECT_FALSE(read_machine_file(path, m, error));
    EXPECT_EQ(error, path + ":3: unknown key 'speed'");
    std::ofstream(path) << "[outputs]\nspindle = 7\n";
    EXPECT_FALSE(read_machine_file(path, m, error));
    EXPECT_EQ(error, path + ":2: outputs.spindle must be a whole number -1..6");
    std::remove(path.c_str());
}
