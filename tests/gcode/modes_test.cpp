// modes_test.cpp - the modes and marks a post-processor writes, in any order: headers
// of modal words, arc centres absolute or relative, pauses, program numbers, "%",
// block delete and messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gcode/program.h"

using namespace korva3_gcode;

namespace {

struct Read {
    bool ok;
    Program p;
    std::vector<std::string> errors;
};

Read read(const std::string &text, ReadOptions options = ReadOptions{})
{
    Read r;
    r.ok = read_program("t.ngc", text, Settings{}, r.p, r.errors, options);
    return r;
}

// Where the program ends, pulses.
PulsePoint end_pulses(const Read &r)
{
    return korva3_planner::to_pulses(r.p.end, Settings{}.scale);
}

} // namespace

// Every header word in every rotation of its order, before the same moves: each reads
// and ends at the same point (a group read out of order would change the units, the
// plane or the distance mode of the moves).
TEST(GcodeModes, HeadersReadInAnyOrder)
{
    const std::vector<std::string> header = {"G40", "G49", "G80", "G94", "G17", "G21", "G90",
                                             "G91.1", "G8", "G54", "G64"};
    const std::string moves = "G0 X10 Y5\nG3 X0 Y5 I-5 J0 F200\nG91 G1 Z-1\nM30\n";
    for (size_t shift = 0; shift < header.size(); shift++) {
        std::vector<std::string> h = header;
        std::rotate(h.begin(), h.begin() + static_cast<long>(shift), h.end());
        std::string line;
        for (const std::string &w : h)
            line += w + " ";
        for (const std::string &split : {std::string(" "), std::string("\n")}) {
            std::string text = line;
            std::replace(text.begin(), text.end(), ' ', split[0]);
            Read r = read(text + "\n" + moves);
            ASSERT_TRUE(r.ok) << line << ": " << r.errors.front();
            EXPECT_EQ(end_pulses(r), (PulsePoint{0, 5000, -1000})) << line;
        }
    }
}

// Words of one line take effect in the order of their groups, not the order written.
TEST(GcodeModes, ALinesWordsActInTheirGroupsOrder)
{
    const struct {
        const char *text;
        PulsePoint end;
    } cases[] = {
        {"G1 X1 F10 G20", {25400, 0, 0}},
        {"G20 G1 X1 F10", {25400, 0, 0}},
        {"G0 X5\nX1 G91", {6000, 0, 0}},
        {"G0 X5\nG92 X0 G20\nG0 X1", {30400, 0, 0}},
        {"G0 Z1\nG2 X2 I1 K0 F10 G18", {2000, 0, 1000}},
    };
    for (const auto &c : cases) {
        Read r = read(c.text);
        ASSERT_TRUE(r.ok) << c.text << ": " << r.errors.front();
        EXPECT_EQ(end_pulses(r), c.end) << c.text;
    }
}

TEST(GcodeModes, ArcCentresAbsoluteOrRelative)
{
    const struct {
        const char *text;
        double centre_x; // pulses
        const char *error;
    } cases[] = {
        {"G0 X10\nG91.1 G2 X20 I5 J0 F100", 15000, nullptr},
        {"G0 X10\nG90.1 G2 X20 I15 J0 F100", 15000, nullptr},
        {"G0 X10\nG92 X0\nG90.1 G2 X10 I5 J0 F100", 15000, nullptr}, // program coordinates
        {"G0 X10\nG90.1 G2 X20 I15 F100", 0, "t.ngc:2: G2 under G90.1 needs both I and J (the centre's coordinates)"},
    };
    for (const auto &c : cases) {
        Read r = read(c.text);
        if (c.error) {
            ASSERT_FALSE(r.ok) << c.text;
            EXPECT_EQ(r.errors.front(), c.error) << c.text;
            continue;
        }
        ASSERT_TRUE(r.ok) << c.text << ": " << r.errors.front();
        EXPECT_NEAR(r.p.moves[1].centre[0] * Settings{}.scale[0], c.centre_x, 1e-6) << c.text;
    }
}

TEST(GcodeModes, PausesAndTheirTexts)
{
    const struct {
        const char *text;
        bool skip_optional;
        std::vector<std::string> notes; // of the pauses, in order
    } cases[] = {
        {"M0\nM1\nM60", false, {"M0", "M1 (optional stop)", "M60 (pallet change)"}},
        {"M0\nM1\nM60", true, {"M0", "M60 (pallet change)"}},
    };
    for (const auto &c : cases) {
        ReadOptions o;
        o.skip_optional_stops = c.skip_optional;
        Read r = read(c.text, o);
        ASSERT_TRUE(r.ok) << c.text;
        std::vector<std::string> notes;
        for (const Move &m : r.p.moves)
            if (m.op == Op::Pause)
                notes.push_back(m.note);
        EXPECT_EQ(notes, c.notes) << c.text;
    }
}

// Marks around the words: the program ends where it says, and no line is lost.
TEST(GcodeModes, ProgramNumbersPercentBlockDeleteAndMessages)
{
    const struct {
        const char *text;
        bool block_delete;
        PulsePoint end;
        const char *error; // the first, or none
    } cases[] = {
        {"%\nO1234\nG0 X1\n%\nG0 X5\n", true, {1000, 0, 0}, nullptr},    // the second % ends it
        {"G0 X1\n%\nG0 X2\n", true, {2000, 0, 0}, nullptr},               // % not first: a mark
        {"(head)\n%\nG0 X1\n%\nG0 X9\n", true, {1000, 0, 0}, nullptr},    // comments before it
        {"G0 X1\n/G0 X3\n/ G0 Y2\n", true, {1000, 0, 0}, nullptr},
        {"G0 X1\n/G0 X3\n/ G0 Y2\n", false, {3000, 2000, 0}, nullptr},
        {"O100 G0 X1", true, {}, "t.ngc:1: an O-word stands alone on its line, or begins a subroutine or a loop (sub, call, if, while, do, repeat ...)"},
        {"G7", true, {}, "t.ngc:1: G7 is not supported (lathe diameter mode: X is a radius here (G8))"},
    };
    for (const auto &c : cases) {
        ReadOptions o;
        o.block_delete = c.block_delete;
        Read r = read(c.text, o);
        if (c.error) {
            ASSERT_FALSE(r.ok) << c.text;
            EXPECT_EQ(r.errors.front(), c.error) << c.text;
            continue;
        }
        ASSERT_TRUE(r.ok) << c.text << ": " << r.errors.front();
        EXPECT_EQ(end_pulses(r), c.end) << c.text;
    }
    Read r = read("(MSG, roughing pass )\nG0 X1 (msg,second)\n(MSGno)\n/(MSG, deleted)\n");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.p.messages.size(), 2u);
    EXPECT_EQ(r.p.messages[0].line, 1);
    EXPECT_EQ(r.p.messages[0].text, "roughing pass");
    EXPECT_EQ(r.p.messages[1].line, 2);
    EXPECT_EQ(r.p.messages[1].text, "second");
}

// A feed keeps its speed across G20 / G21 until a new F: mm/min of the last move.
TEST(GcodeModes, FeedKeptAcrossUnits)
{
    const struct {
        const char *text;
        double mm_min;
    } cases[] = {
        {"G21 F100\nG20 G1 X1", 100},
        {"G20 F10\nG21\nG1 X1", 254},
        {"G20 F10\nG21 F50 G1 X1", 50},
        {"G21 F100\nG20\nG21 G1 X1", 100},
    };
    for (const auto &c : cases) {
        Read r = read(c.text);
        ASSERT_TRUE(r.ok) << c.text;
        const Move *last = nullptr;
        for (const Move &m : r.p.moves)
            if (m.op == Op::Line)
                last = &m;
        ASSERT_NE(last, nullptr) << c.text;
        EXPECT_NEAR(last->feed_mm_min, c.mm_min, 1e-9) << c.text;
    }
}
