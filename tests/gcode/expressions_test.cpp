// expressions_test.cpp - [ ] expressions and parameters: each operator's level and
// direction, the functions, a line's parameters set after its values are read, and the
// errors that name their line.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gcode/block.h"
#include "gcode/expression.h"
#include "gcode/program.h"

using namespace korva3_gcode;

namespace {

// The program's end on X, mm (1000 pulses per mm), or its first error.
std::string end_x(const std::string &text)
{
    Program p;
    std::vector<std::string> errors;
    if (!read_program("t.ngc", text, Settings{}, p, errors))
        return errors.front();
    const PulsePoint end = korva3_planner::to_pulses(p.end, Settings{}.scale);
    return "X" + std::to_string(end[0] / 1000.0).substr(0, 6);
}

} // namespace

TEST(GcodeExpressions, Values)
{
    const struct {
        const char *text;
        double value;
    } cases[] = {
        {"[1 + 2 * 3]", 7},       {"[[1 + 2] * 3]", 9},   {"[2 * 3 ** 2]", 18},
        {"[2 ** 3 ** 2]", 64},     // left to right, as LinuxCNC
        {"[10 - 4 - 3]", 3},      {"[12 / 3 / 2]", 2},    {"[2 + 3 * 4 - 6 / 2]", 11},
        {"[-2 ** 2]", 4},          // the sign belongs to its number
        {"[-[2 ** 2]]", -4},      {"[7 MOD 3]", 1},       {"[-7 MOD 3]", 2},
        {"[7.5 MOD 2]", 1.5},     {"[7 MOD -3]", 1},     {"[1 + 2 EQ 3]", 1},    {"[2 * 2 GT 3]", 1},
        {"[1 LT 2 AND 3 GT 4]", 0}, {"[1 LT 2 OR 3 GT 4]", 1}, {"[1 XOR 1]", 0},
        {"[0.1 + 0.2 EQ 0.3]", 1}, {"[1 NE 1.0000001]", 0}, {"[1 NE 1.00001]", 1},
        {"[0.1 + 0.2 GT 0.3]", 1}, {"[0.3 LT 0.1 + 0.2]", 1}, {"[1.0000001 GT 1]", 1}, {"[0.3 GE 0.1 + 0.2]", 1},
        {"[0.1 + 0.2 LE 0.3]", 1}, {"[1 GE 1]", 1}, {"[1 LE 0.5]", 0},
        {"SIN[30]", 0.5},         {"COS[60]", 0.5},       {"TAN[45]", 1},
        {"ASIN[1]", 90},          {"ACOS[0]", 90},        {"ATAN[1]/[-1]", 135},
        {"ATAN[-1]/[0]", -90},    {"SQRT[16]", 4},        {"ABS[-3]", 3},
        {"ROUND[2.5]", 3},        {"ROUND[-2.5]", -3},    {"FIX[-2.5]", -3},
        {"FUP[2.1]", 3},          {"EXP[0]", 1},          {"LN[1]", 0},
        {"-SQRT[[3 ** 2] + [4 ** 2]]", -5}, {"EXISTS[#<nothing>]", 0},
    };
    for (const auto &c : cases) {
        Parameters params;
        Expressions values(params);
        std::string text, message, error;
        ASSERT_TRUE(strip_line(c.text, text, message, error));
        size_t i = 0;
        double v = -1e9;
        ASSERT_TRUE(values.read(text, i, v, error)) << c.text << ": " << error;
        EXPECT_EQ(i, text.size()) << c.text;
        EXPECT_NEAR(v, c.value, 1e-12) << c.text;
    }
}

TEST(GcodeExpressions, ParametersInLines)
{
    const struct {
        const char *text;
        const char *end;
    } cases[] = {
        {"#1 = 2\nG0 X#1", "X2.0000"},
        {"#1 = 2\nG0 X[#1 * 2]", "X4.0000"},
        {"#<feed> = 100\nG1 X1 F#<Feed>", "X1.0000"}, // names as the line: no case
        {"#1 = 3\n#2 = 1\nG0 X##2", "X3.0000"}, // #[#2] is #1
        {"#2 = 3\n#3 = 7\nG0 X#[#2]", "X7.0000"},
        {"#4 = 9\n#3 = 2\nG0 X#[#3 * 2]", "X9.0000"},
        {"#5601 = 4\nG0 X#5601", "X4.0000"}, // the last (#5599 .. #5601: LinuxCNC's flags)
        {"#1 = 5\nG0 X-#1", "X-5.000"},
        {"G0 X SIN[90]", "X1.0000"},
        // set after the line's values are read: the line reads the old value
        {"#1 = 1\n#1 = 2 G0 X#1", "X1.0000"},
        {"#1 = 1\n#1 = 2 G0 X#1\nG0 X#1", "X2.0000"},
        {"#1 = 1\n#1 = [#1 + 1] #2 = #1\nG0 X#2", "X1.0000"},
        {"#1 = 2\n#1 = [#1 + 1]\nG0 X#1", "X3.0000"},
        {"#1 = 2\n/#1 = 5 G0 Y#9\nG0 X#1", "X2.0000"}, // a deleted line is not read
    };
    for (const auto &c : cases)
        EXPECT_EQ(end_x(c.text), c.end) << c.text;
}

TEST(GcodeExpressions, Errors)
{
    const struct {
        std::string text;
        const char *error;
    } cases[] = {
        {"G0 X1\nG0 X#1", "t.ngc:2: X: #1 is read before it is set"},
        {"G0 X#<depth>", "t.ngc:1: X: #<DEPTH> is read before it is set"},
        {"G0 X[1 / 0]", "t.ngc:1: X: 1 / 0: division by zero"},
        {"#1 = 0\nG0 X[2 MOD #1]", "t.ngc:2: X: 2 MOD 0: division by zero"},
        {"G0 X SQRT[-4]", "t.ngc:1: X: SQRT[-4]: the square root of a negative number"},
        {"G0 X LN[0]", "t.ngc:1: X: LN[0]: the logarithm only of a number above 0"},
        {"G0 X ASIN[1.5]", "t.ngc:1: X: ASIN[1.5]: only of -1 .. 1"},
        {"G0 X ACOS[-2]", "t.ngc:1: X: ACOS[-2]: only of -1 .. 1"},
        {"G0 X[[-8] ** 0.5]", "t.ngc:1: X: -8 ** 0.5: a negative number to a power that is not whole"},
        {"G0 X EXP[1000]", "t.ngc:1: X: EXP[1000]: the result is too large"},
        {"G0 X[1000000 * 1000000]", "t.ngc:1: X[1000000*1000000...: out of range (at most 1e9 in size)"},
        {"G0 X[9999999999]", "t.ngc:1: X: 9999999999: out of range (at most 1e9 in size)"},
        {"G0 X[1 + 2", "t.ngc:1: X: '[' not closed by ']'"},
        {"G0 X[1 SIN[3]]", "t.ngc:1: X: 'S' is no operator"}, // blanks vanish: [1 2] is 12
        {"#0 = 1", "t.ngc:1: #0: parameters are numbered 1 .. 5601"},
        {"#5602 = 1", "t.ngc:1: #5602: parameters are numbered 1 .. 5601"},
        {"#1.5 = 1", "t.ngc:1: #1.5: parameters are numbered 1 .. 5601"},
        {"#1 G0 X1", "t.ngc:1: #1 stands alone: a parameter is set by #1=value, or read in a word's value (X#1)"},
        {"#<> = 1", "t.ngc:1: '#<>': a parameter needs a name"},
        {"#2 = [3 / [1 - 1]]", "t.ngc:1: #2: 3 / 0: division by zero"},
        {"G0 X" + std::string(70, '[') + "1" + std::string(70, ']'),
         "t.ngc:1: X: nested more than 64 deep"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(end_x(c.text), c.error) << c.text;
    // A value that failed where it was set is not "read before it is set" later.
    Program p;
    std::vector<std::string> errors;
    ASSERT_FALSE(read_program("t.ngc", "#1 = 0\n#3 = 1 #2 = [1 / #1] G0 X#9\nG0 X#2 Y#3\n",
                              Settings{}, p, errors));
    EXPECT_EQ(errors, (std::vector<std::string>{"t.ngc:2: #2: 1 / 0: division by zero",
                                                "t.ngc:3: X: #2 has no value: line 2 was to set it"}));
    // ... nor are the values the line set before its error.
    errors.clear();
    ASSERT_FALSE(read_program("t.ngc", "#3 = 1 G0 X[1 / 0]\nG0 Y#3\n", Settings{}, p, errors));
    EXPECT_EQ(errors, std::vector<std::string>{"t.ngc:1: X: 1 / 0: division by zero"});
}
