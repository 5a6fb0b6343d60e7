// control_flow_test.cpp - O-word subroutines and loops: how often a body runs, which
// branch is taken, what a call sees and gives back, the bounds, and mismatched O-words
// named at their line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gcode/line_source.h"
#include "gcode/parameters.h"
#include "gcode/program.h"

using namespace korva3_gcode;

namespace {

// Where the program ends, "X.. Y..", mm (1000 pulses per mm), or its first error. Each
// "S" below is a step of 1 mm on X ("G91 G0 X1").
std::string run(const std::string &text, ReadOptions options = ReadOptions{})
{
    std::string program;
    for (char c : text)
        program += c == 'S' ? std::string("G91 G0 X1") : std::string(1, c);
    Program p;
    std::vector<std::string> errors;
    if (!read_program("t.ngc", program, Settings{}, p, errors, options))
        return errors.front();
    const PulsePoint end = korva3_planner::to_pulses(p.end, Settings{}.scale);
    return "X" + std::to_string(end[0] / 1000) + " Y" + std::to_string(end[1] / 1000);
}

} // namespace

TEST(GcodeControlFlow, Loops)
{
    const struct {
        const char *text;
        const char *end;
    } cases[] = {
        {"o1 repeat [3]\nS\no1 endrepeat", "X3 Y0"},
        {"o1 repeat [0]\nS\no1 endrepeat", "X0 Y0"},
        {"o1 repeat [2]\no2 repeat [3]\nS\no2 endrepeat\no1 endrepeat", "X6 Y0"},
        {"#1=0\no1 while [#1 LT 5]\nS\n#1=[#1+1]\no1 endwhile", "X5 Y0"},
        {"#1=0\no1 while [#1 LE 5]\nS\n#1=[#1+1]\no1 endwhile", "X6 Y0"},
        {"#1=9\no1 while [#1 LT 5]\nS\no1 endwhile", "X0 Y0"},
        // do ... while runs its body once before the test
        {"#1=9\no1 do\nS\n#1=[#1+1]\no1 while [#1 LT 5]", "X1 Y0"},
        {"#1=0\no1 do\nS\n#1=[#1+1]\no1 while [#1 LT 5]", "X5 Y0"},
        {"#1=0\no1 while [1]\n#1=[#1+1]\no2 if [#1 GT 4]\no1 break\no2 endif\nS\no1 endwhile",
         "X4 Y0"},
        {"#1=0\no1 repeat [6]\n#1=[#1+1]\no2 if [#1 MOD 2 EQ 0]\no1 continue\no2 endif\nS\n"
         "o1 endrepeat",
         "X3 Y0"},
        {"#1=0\no1 do\n#1=[#1+1]\no1 continue\nS\no1 while [#1 LT 3]\nG90 G0 Y#1", "X0 Y3"},
        // a break from an inner loop out of the outer one, then the outer repeats anew
        {"o3 repeat [2]\no1 repeat [5]\no2 repeat [5]\nS\no1 break\no2 endrepeat\n"
         "o1 endrepeat\no3 endrepeat",
         "X2 Y0"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(c.text), c.end) << c.text;
}

TEST(GcodeControlFlow, Branches)
{
    const char *const branches = "o1 if [#1 EQ 1]\nG0 Y1\no1 elseif [#1 EQ 2]\nG0 Y2\n"
                                 "o1 elseif [#1 GT 2]\nG0 Y3\no1 else\nG0 Y4\no1 endif\nS";
    const struct {
        int value;
        const char *end;
    } cases[] = {{1, "X1 Y1"}, {2, "X1 Y2"}, {7, "X1 Y3"}, {0, "X1 Y4"}};
    for (const auto &c : cases)
        EXPECT_EQ(run("#1=" + std::to_string(c.value) + "\n" + branches), c.end) << c.value;
    EXPECT_EQ(run("o1 if [0]\nS\no1 endif\nS"), "X1 Y0");
}

TEST(GcodeControlFlow, Subroutines)
{
    const struct {
        const char *text;
        const char *end;
    } cases[] = {
        // defined where it stands, skipped there; #1, #2 the arguments
        {"o<go> sub\nG91 G0 X#1 Y#2\no<go> endsub\no<go> call [1] [2]\no<go> call [3] [-1]",
         "X4 Y1"},
        {"o100 sub\no100 return [#1 * 2]\nS\no100 endsub\no100 call [21]\nG90 G0 X#<_value>",
         "X42 Y0"},
        {"o100 sub\nS\no100 endsub [5]\no100 call\nG90 G0 Y#<_value>", "X1 Y5"},
        // return named by a block open in the sub leaves the sub; each call clears the value
        {"o1 sub\no2 if [#1]\no2 return [5]\no2 endif\no1 endsub\no1 call [1]\n"
         "G0 X#<_value> Y#<_value_returned>",
         "X5 Y1"},
        {"o1 sub\no2 if [#1]\no2 return [5]\no2 endif\no1 endsub\no1 call [1]\no1 call [0]\n"
         "G0 X#<_value> Y#<_value_returned>",
         "X0 Y0"},
        {"o1 sub\no2 repeat [5]\nS\no3 if [1]\no2 return\no3 endif\no2 endrepeat\no1 endsub\n"
         "o1 call\no1 call",
         "X2 Y0"},
        // the caller's #1 and local names come back; globals are shared
        {"#1=7\n#<here>=3\no1 sub\n#1=1\n#<here>=9\n#<_there>=2\no1 endsub\no1 call [5]\n"
         "G0 X#1 Y[#<here> + #<_there>]",
         "X7 Y5"},
        {"#1=2\no1 sub\n#31=#1\no1 endsub\no1 call [#1 * 3]\nG0 X#1 Y#31", "X2 Y6"},
        // recursion: n steps by n nested calls
        {"o<n> sub\no1 if [#1 GT 0]\nS\no<n> call [#1 - 1]\no1 endif\no<n> endsub\n"
         "o<n> call [10]",
         "X10 Y0"},
        {"o1 sub\nS\nM2\no1 endsub\no1 call\nS", "X1 Y0"}, // M2 in a sub ends the program
        {"o0100 sub\nS\no100 endsub\no1234567 sub\no1234567 endsub\no1234568 sub\n"
         "o1234568 endsub\no100 call",
         "X1 Y0"}, // labels as written, without leading zeros
        {"O1234\nS", "X1 Y0"},                             // a program number, as before
        {"/o1 if [1]\nS\n/o1 endif\n/S", "X1 Y0"},         // O-words read under block delete
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(c.text), c.end) << c.text;
    // A message in a loop is listed once, and so is an error (not "... and 2 more errors").
    Program p;
    std::vector<std::string> errors;
    ASSERT_TRUE(read_program("t.ngc", "o1 repeat [3]\n(MSG, pass)\no1 endrepeat\n", Settings{}, p,
                             errors));
    EXPECT_EQ(p.messages.size(), 1u);
    EXPECT_FALSE(read_program("t.ngc", "o1 repeat [3]\nM70\no1 endrepeat\n", Settings{}, p,
                              errors));
    EXPECT_EQ(errors, std::vector<std::string>{"t.ngc:2: M70 is not supported"});
}

TEST(GcodeControlFlow, Bounds)
{
    ReadOptions few;
    few.max_iterations = 10;
    few.max_call_depth = 4;
    const struct {
        const char *text;
        ReadOptions options;
        const char *end;
    } cases[] = {
        {"o1 repeat [10]\nS\no1 endrepeat", few, "X10 Y0"},
        {"o1 repeat [11]\nS\no1 endrepeat", few,
         "t.ngc:3: o1 endrepeat: more than 10 loop iterations and calls (--max-iterations N "
         "allows more)"},
        {"o1 while [1]\no1 endwhile", ReadOptions{},
         "t.ngc:1: o1 while: more than 1000000 loop iterations and calls (--max-iterations N "
         "allows more)"},
        {"o<n> sub\no<n> call\no<n> endsub\no<n> call", ReadOptions{},
         "t.ngc:2: o<N> call: calls nested more than 64 deep (--max-call-depth N allows more)"},
        // four calls nested: [3], [2], [1], [0]
        {"o<n> sub\no1 if [#1 GT 0]\no<n> call [#1 - 1]\no1 endif\no<n> endsub\no<n> call [3]",
         few, "X0 Y0"},
        {"o<n> sub\no1 if [#1 GT 0]\no<n> call [#1 - 1]\no1 endif\no<n> endsub\no<n> call [4]",
         few, "t.ngc:3: o<N> call: calls nested more than 4 deep (--max-call-depth N allows more)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(c.text, c.options), c.end) << c.text;
    // Lines read beyond the file's own 4, and moves, are bounded too.
    ReadOptions reads, moves;
    reads.max_reads = 20;
    moves.max_moves = 30;
    // (O-word lines count: the file's 3, then 1 + 2 x 11 reads are within 3 + 20.)
    EXPECT_EQ(run("o1 repeat [11]\nS\no1 endrepeat", reads), "X11 Y0");
    EXPECT_EQ(run("o1 repeat [12]\nS\no1 endrepeat", reads),
              "t.ngc:2: more than 20 lines read again by loops and calls");
    // A line counts once more for every 256 bytes: the file (3 lines, 640 bytes) is 5
    // reads, the loop 1 + 6 x (3 + 1) within 5 + 20.
    EXPECT_EQ(run("o1 repeat [6]\nS (" + std::string(600, 'x') + ")\no1 endrepeat", reads),
              "X6 Y0");
    EXPECT_EQ(run("o1 repeat [7]\nS (" + std::string(600, 'x') + ")\no1 endrepeat", reads),
              "t.ngc:2: more than 20 lines read again by loops and calls");
    EXPECT_EQ(run("o1 repeat [30]\nS\no1 endrepeat", moves), "X30 Y0");
    EXPECT_EQ(run("o1 repeat [31]\nS\no1 endrepeat", moves),
              "t.ngc:2: more than 30 moves: a program this long is not checked "
              "(--max-moves N allows more)");
    // Work, not lines: the steps of expressions (a loop of long ones would take hours).
    ReadOptions steps;
    steps.max_expression_steps = 1000000;
    std::string sum = "[1";
    for (int i = 0; i < 1000; i++)
        sum += "+1";
    EXPECT_EQ(run("o1 while [1]\n#1=" + sum + "]\no1 endwhile", steps),
              "t.ngc:2: #1: more than 1000000 expression steps (--max-expression-steps N "
              "allows more)");
    EXPECT_EQ(run("#1=0\no1 while [#1+#1+#1+#1+#1+#1 LT 10000000]\n#1=[#1+1]\no1 endwhile", steps),
              "t.ngc:2: o1 while: more than 1000000 expression steps (--max-expression-steps N "
              "allows more)");
    // The O-words indexed before anything is read.
    ReadOptions ten;
    ten.max_o_words = 10;
    std::string blocks;
    for (int i = 0; i < 5; i++)
        blocks += "o1 if [1]\no1 endif\n";
    EXPECT_EQ(run(blocks + "S", ten), "X1 Y0");
    EXPECT_EQ(run(blocks + "o2 do\no2 while [0]", ten),
              "t.ngc:11: more than 10 O-words that open, close or leave a block (sub, if, "
              "while, do, repeat ...)");
    // Named parameters, and the characters of a line.
    std::string names;
    for (size_t i = 0; i <= kMaxNames; i++)
        names += "#<_n" + std::to_string(i) + ">=1\n";
    EXPECT_EQ(run(names), "t.ngc:100001: #<_N100000>: more than 100000 named parameters");
    EXPECT_EQ(run("S\n(" + std::string(kMaxLineBytes, 'x') + ")\nS"),
              "t.ngc:2: more than 1048576 characters on one line");
    ReadOptions thousand;
    thousand.max_iterations = 1000;
    // Each call counts: two calls a level, 40 levels deep, would be 2^41 calls.
    const std::string tree = run("o<t> sub\no1 if [#1 GT 0]\no<t> call [#1 - 1]\n"
                                 "o<t> call [#1 - 1]\no1 endif\no<t> endsub\no<t> call [40]",
                                 thousand);
    EXPECT_NE(tree.find("more than 1000 loop iterations and calls"), std::string::npos) << tree;
}

TEST(GcodeControlFlow, Errors)
{
    const struct {
        std::string text;
        const char *error;
    } cases[] = {
        {"S\no1 endsub", "t.ngc:2: o1 endsub without o1 sub"},
        {"o1 if [1]\nS", "t.ngc:1: o1 if without o1 endif"},
        {"o1 while [1]\no2 endwhile\no1 endwhile",
         "t.ngc:2: o2 endwhile without o2 while (o1 while, line 1, is still open)"},
        {"o1 do\nS", "t.ngc:1: o1 do without o1 while"},
        {"o1 repeat [2]\no1 endwhile", "t.ngc:2: o1 endwhile without o1 while (o1 repeat, line 1, is still open)"},
        {"o<x> call", "t.ngc:1: o<X> call: no o<X> sub in this file"},
        {"o<" + std::string(100, 'x') + "> if [1]\no<" + std::string(100, 'x') + "> endif",
         "X0 Y0"}, // the longest label
        {"o<" + std::string(101, 'x') + "> if [1]",
         "t.ngc:1: o<XXXXXXXXXXXXXXX... if: a label has at most 100 characters"},
        {"o1 break", "t.ngc:1: o1 break outside loop o1"},
        {"o1 sub\no1 sub\no1 endsub\no1 endsub", "t.ngc:2: o1 sub inside o1 sub (line 1): subroutines are defined one after another, at the top level"},
        {"o1 sub\no1 endsub\no1 sub\no1 endsub", "t.ngc:3: o1 sub: defined twice (first on line 1)"},
        {"o2 sub\no1 return\no2 endsub", "t.ngc:2: o1 return outside o1 sub"},
        {"o2 sub\no1 if [1]\no1 endif\no1 return\no2 endsub", "t.ngc:4: o1 return outside o1 sub"},
        {"o1 if [1]\no1 return\no1 endif", "t.ngc:2: o1 return outside o1 sub"},
        // break and continue name their loop, not a block inside it
        {"o1 repeat [2]\no2 if [1]\no2 break\no2 endif\no1 endrepeat", "t.ngc:3: o2 break outside loop o2"},
        {"o1 if [1]\no1 else\no1 elseif [1]\no1 endif", "t.ngc:3: o1 elseif after o1 else (line 2)"},
        {"o1 if [1]\no1 endif X1", "t.ngc:2: o1 endif: nothing may follow it ('X1')"},
        {"o1 if\no1 endif", "t.ngc:1: o1 if needs a value: o1 if [...]"},
        {"o1 if [#1 GT 2]\no1 endif", "t.ngc:1: o1 if: #1 is read before it is set"},
        {"o1 repeat [1.5]\no1 endrepeat", "t.ngc:1: o1 repeat [1.5]: the count is a whole number, 0 or more"},
        {"o1 if [1] X\no1 endif", "t.ngc:1: o1 if: 'X' after its value"},
        {"o1 sub\no1 endsub\no1 call 1 2", "t.ngc:3: o1 call: each argument stands in brackets: o1 call [1] [2]"},
        // the line in the sub, where a call reaches it
        {"o1 sub\nG0 X[1/#1]\no1 endsub\nS\no1 call [0]", "t.ngc:2: X: 1 / 0: division by zero"},
        {"o1 sub\nG0 X#3\no1 endsub\no1 call [1] [2]",
         "t.ngc:2: X: #3 is read before it is set (this call's arguments are #1 .. #30, as many as "
         "the call gives)"},
        {"O100 G0 X1", "t.ngc:1: an O-word stands alone on its line, or begins a subroutine or a "
                       "loop (sub, call, if, while, do, repeat ...)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(c.text), c.error) << c.text;
    // Every call of a sub the file does not hold is named, each at its line.
    Program p;
    std::vector<std::string> errors;
    EXPECT_FALSE(read_program("t.ngc", "o<x> call\nG0 X1\no<x> call\n", Settings{}, p, errors));
    EXPECT_EQ(errors, (std::vector<std::string>{"t.ngc:1: o<X> call: no o<X> sub in this file",
                                                "t.ngc:3: o<X> call: no o<X> sub in this file"}));
}
