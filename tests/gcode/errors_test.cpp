// errors_test.cpp - errors a person can act on: a refused word leaves the rest of its
// line read (no errors follow from it), the list is capped and the rest counted, and a
// printer's program is named once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gcode/program.h"

using namespace korva3_gcode;

namespace {

std::vector<std::string> errors_of(const std::string &text, ReadOptions options = ReadOptions{})
{
    Program p;
    std::vector<std::string> errors;
    bool ok = read_program("t.ngc", text, Settings{}, p, errors, options);
    EXPECT_EQ(ok, errors.empty());
    return errors;
}

} // namespace

// Every error a program has, and no other: the words beside a refused one still count.
TEST(GcodeErrors, ARefusedWordLeavesTheRestOfItsLineRead)
{
    const struct {
        const char *text;
        std::vector<std::string> errors; // all of them, without "t.ngc:"
    } cases[] = {
        // The plane set beside a refused word holds for the arcs after it.
        {"G18 G93\nG2 X10 I5 K0 F100\nG3 X0 I-5 K0",
         {"1: G93 is not supported (inverse time feed)"}},
        // A refused axis: the move's target still counts, so the arc after it fits.
        {"G1 X10 Y5 A3 F100\nG91 G2 X10 I5", {"1: 'A' words are not supported (the card has X, Y and Z)"}},
        // A refused cycle: its R, Q, P and L are not reported as misplaced.
        {"G0 Z5\nG84 X1 Y1 Z-5 R1 Q2 P0.5 L2 F100\nG0 X0",
         {"2: G84 is not supported (tapping: the spindle is an on/off output here)"}},
        // Two refused words, and a real fault on the same line.
        {"G1 X5 D1 U2 Q3 F100", {"1: 'D' words are not supported", "1: 'U' words are not supported (the card has X, Y and Z)"}},
        {"G42.1 D6\nG1 X1 F100", {"1: G42.1 is not supported (cutter compensation: have the CAM system write the path already compensated)", "1: 'D' words are not supported"}},
        {"G0 X1\nG17 G94 G4\nG1 X2 F10",
         {"2: G4 needs P, the dwell in seconds (0 or more)"}},
        // Faults that are not follow-ons stay reported.
        {"G1 X5 A1\nG0 G1 X1 B2", {"1: 'A' words are not supported (the card has X, Y and Z)",
                                    "2: G0 and G1 on one line: both of the motion group",
                                    "2: 'B' words are not supported (the card has X, Y and Z)"}},
    };
    for (const auto &c : cases) {
        std::vector<std::string> want;
        for (const std::string &e : c.errors)
            want.push_back("t.ngc:" + e);
        EXPECT_EQ(errors_of(c.text), want) << c.text;
    }
}

TEST(GcodeErrors, AtMostMaxErrorsThenACount)
{
    std::string text;
    for (int i = 0; i < 30; i++)
        text += "G0 X1 D1\n";
    const struct {
        int max_errors;
        size_t listed;
        const char *last;
    } cases[] = {
        {25, 25, "t.ngc: ... and 5 more errors"},
        {29, 29, "t.ngc: ... and 1 more error"},
        {30, 30, "t.ngc:30: 'D' words are not supported"},
    };
    for (const auto &c : cases) {
        ReadOptions o;
        o.max_errors = c.max_errors;
        std::vector<std::string> errors = errors_of(text, o);
        ASSERT_EQ(errors.size(), c.listed + (c.listed < 30)) << c.max_errors;
        EXPECT_EQ(errors.back(), c.last) << c.max_errors;
    }
}

TEST(GcodeErrors, APrintersProgramIsNamedOnce)
{
    const char *hint = "t.ngc: E words and * checksums make this a 3D printer's program; "
                       "korva3 gcode runs milling programs on X, Y and Z";
    const struct {
        const char *text;
        size_t hints;
    } cases[] = {
        {"G1 X1 E2 F100\nG1 X2 E3\nG1 X3 E4\n", 1},
        {"N1 G0 X1*45\nN2 G0 X2*46\n", 1},
        {"G1 X1 B2 F100\n", 0},
        {"M68 E2 Q5\n", 0}, // E: the analog output's number
    };
    for (const auto &c : cases) {
        std::vector<std::string> errors = errors_of(c.text);
        size_t hints = 0;
        for (const std::string &e : errors)
            hints += e == hint;
        EXPECT_EQ(hints, c.hints) << c.text;
        if (c.hints) {
            EXPECT_EQ(errors.back(), hint) << c.text;
        }
    }
    // A checksum ends its line's words but not the words before it.
    EXPECT_EQ(errors_of("G0 X1 G0*45\n").front(),
              "t.ngc:1: '*' (a checksum) is not supported");
}

// What a misread program is, said on its first error line; one error for one fault.
TEST(GcodeErrors, SayWhatWentWrong)
{
    const struct {
        const char *text;
        std::vector<std::string> errors;
    } cases[] = {
        {"G0 X1 (a (nested) comment)\n",
         {"t.ngc:1: a comment inside a comment: '(' within '( )' (comments do not nest, as in "
          "LinuxCNC)"}},
        {"G0 X[SINE[30]]\n", {"t.ngc:1: X: SINE is an unknown function (SIN COS TAN ASIN ACOS "
                              "ATAN SQRT ABS EXP LN ROUND FIX FUP EXISTS)"}},
        {"G0 X SINE[30]\n", {"t.ngc:1: X: SINE is an unknown function (SIN COS TAN ASIN ACOS "
                             "ATAN SQRT ABS EXP LN ROUND FIX FUP EXISTS)"}},
        {"o1 sub\no1 endsub\no1 sub\no1 endsub\n", {"t.ngc:3: o1 sub: defined twice (first on line 1)"}},
        {"G28\nM104 S200\nM84\n",
         {"t.ngc:2: M104 is not supported (a 3D printer's: the hot end's temperature)",
          "t.ngc:3: M84 is not supported (a 3D printer's: the motors off)"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(errors_of(c.text), c.errors) << c.text;
    // A printer's program (or one of other axes) lists five errors, then counts the rest.
    std::string text;
    for (int i = 1; i <= 20; i++)
        text += "G1 X" + std::to_string(i) + " E" + std::to_string(i) + " F100\n";
    std::vector<std::string> errors = errors_of(text);
    ASSERT_EQ(errors.size(), 7u);
    EXPECT_EQ(errors[5], "t.ngc: ... and 15 more errors");
}
