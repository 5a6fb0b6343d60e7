// grbl_parts_test.cpp - the grbl server's pieces without a connection: bytes into
// real-time bytes and lines, "$J=" lines into targets, the status report's fields.
#include <gtest/gtest.h>

#include "grbl/grbl_codes.h"
#include "grbl/jog_command.h"
#include "grbl/line_input.h"
#include "grbl/status_report.h"

namespace korva3_grbl {

TEST(GrblLineInput, RealTimeBytesComeOutWhereverTheyAreAndLongLinesOverflow)
{
    struct Case {
        std::string bytes;
        std::string realtime;                // the real-time bytes, in order
        std::vector<std::string> lines;      // the lines, as sent
        std::vector<bool> overflow;
    };
    const std::string long_line = "G1X" + std::string(77, '1'); // 80 kept characters
    const Case cases[] = {
        {"G1 X?1\n", "?", {"G1 X1"}, {false}},
        {"G0!~\r\nG1\r", "!~", {"G0", "G1"}, {false, false}}, // CR LF counts once
        {"\x18\x85\x91$J=X1\n", "\x18\x85\x91", {"$J=X1"}, {false}},
        {long_line + "\nG4\n", "", {long_line, "G4"}, {true, false}},
        {"G1 X1 (" + std::string(100, 'c') + ") ; " + std::string(100, 'd') + "\n", "",
         {"G1 X1 (" + std::string(100, 'c') + ") ; " + std::string(100, 'd')}, {false}},
    };
    for (const Case &c : cases) {
        LineInput in;
        std::string realtime, line;
        std::vector<std::string> lines;
        std::vector<bool> overflow;
        for (char b : c.bytes) {
            bool over = false;
            switch (in.feed(static_cast<unsigned char>(b), line, over)) {
            case LineInput::Got::Realtime: realtime.push_back(b); break;
            case LineInput::Got::Line: lines.push_back(line); overflow.push_back(over); break;
            case LineInput::Got::Nothing: break;
            }
        }
        EXPECT_EQ(realtime, c.realtime) << c.bytes;
        EXPECT_EQ(lines, c.lines) << c.bytes;
        EXPECT_EQ(overflow, c.overflow) << c.bytes;
    }
}

TEST(GrblJog, WordsIntoMachineTargetsOrGrblsErrors)
{
    JogFrom from;
    from.machine_mm = {10, 20, 30};
    from.offset_mm = {1, 2, 3};
    struct Case {
        const char *words;
        bool inches_in_force;
        int error;
        std::array<double, 3> target;
        double feed;
    };
    const Case cases[] = {
        {"G91 X1 F500", false, 0, {11, 20, 30}, 500},
        {"X1 Y-1 F500", false, 0, {2, 1, 30}, 500},        // G90: work coordinates
        {"G53 Z5 F100", false, 0, {10, 20, 5}, 100},       // machine coordinates
        {"G91 X1 F10", true, 0, {35.4, 20, 30}, 254},      // G20 in force
        {"G21 G91 X1 F10", true, 0, {11, 20, 30}, 10},     // G21 for the line only
        {"G91 X1", false, kUndefinedFeedRate, {}, 0},
        {"G91 F100", false, kNoAxisWords, {}, 0},
        {"G1 X1 F100", false, kInvalidJogCommand, {}, 0},
        {"X1 X2 F100", false, kWordRepeated, {}, 0},
        {"X F100", false, kBadNumberFormat, {}, 0},
    };
    for (const Case &c : cases) {
        JogFrom f = from;
        f.inches = c.inches_in_force;
        JogTarget t;
        EXPECT_EQ(read_jog(c.words, f, t), c.error) << c.words;
        if (c.error)
            continue;
        for (int a = 0; a < 3; a++)
            EXPECT_NEAR(t.machine_mm[a], c.target[a], 1e-9) << c.words;
        EXPECT_NEAR(t.feed_mm_min, c.feed, 1e-9) << c.words;
    }
}

TEST(GrblStatus, StatesMaskAndTheFieldsGrblSendsOnlyNowAndThen)
{
    korva3_control::Snapshot s;
    s.machine_mm = {1, 2, 3};
    s.offset_mm = {1, 0, 0};
    s.work_mm = {0, 2, 3};
    SessionFlags f;
    StatusReporter r;
    StatusReporter::Options o;
    EXPECT_EQ(r.report(s, f, o), "<Idle|MPos:1.000,2.000,3.000|FS:0,0|WCO:1.000,0.000,0.000>\r\n");
    EXPECT_EQ(r.report(s, f, o), "<Idle|MPos:1.000,2.000,3.000|FS:0,0|Ov:100,100,100>\r\n");
    EXPECT_EQ(r.report(s, f, o), "<Idle|MPos:1.000,2.000,3.000|FS:0,0>\r\n");
    o.overrides[0] = 110; // a change: Ov at once
    o.mask = 2;           // WPos and Bf
    EXPECT_EQ(r.report(s, f, o), "<Idle|WPos:0.000,2.000,3.000|Bf:15,128|FS:0,0|Ov:110,100,100>\r\n");

    struct Case {
        korva3_control::State state;
        korva3_control::Activity activity;
        SessionFlags flags;
        const char *name;
    };
    using St = korva3_control::State;
    using Ac = korva3_control::Activity;
    const Case cases[] = {
        {St::Running, Ac::Mdi, {}, "Run"},     {St::Holding, Ac::Mdi, {}, "Hold:1"},
        {St::Held, Ac::Mdi, {}, "Hold:0"},     {St::Running, Ac::Jog, {}, "Jog"},
        {St::Running, Ac::Home, {}, "Home"},   {St::EStop, Ac::None, {}, "Alarm"},
        {St::Idle, Ac::None, {true, false, false, false}, "Alarm"},
        {St::Idle, Ac::None, {false, true, false, false}, "Check"},
        {St::Idle, Ac::None, {false, false, true, false}, "Sleep"},
        {St::Idle, Ac::None, {false, false, false, true}, "Hold:0"},
        {St::Stopped, Ac::None, {}, "Idle"},
    };
    for (const Case &c : cases) {
        s.state = c.state;
        s.activity = c.activity;
        EXPECT_EQ(grbl_state(s, c.flags), c.name) << c.name;
    }
}

TEST(GrblCodes, TheReadersReasonsAsGrblsErrors)
{
    const std::pair<const char *, int> cases[] = {
        {"MDI:1: G1 with no feed rate (F)", kUndefinedFeedRate},
        {"MDI:1: G0 and G1 on one line: both of the motion group", kModalGroupViolation},
        {"MDI:1: X twice on one line", kWordRepeated},
        {"MDI:1: G5 is not supported", kUnsupportedCommand},
    };
    for (const auto &[reason, code] : cases)
        EXPECT_EQ(error_for(reason), code) << reason;
    EXPECT_EQ(feedback("MDI:1: a [b]"), "[MSG:a (b)]\r\n");
}

} // namespace korva3_grbl
