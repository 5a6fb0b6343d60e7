// tools_test.cpp - tools: T selects, M6 changes (a pause), G43 / G43.1 / G49 set the
// tool length on Z; the length counted once, with every offset, and only for the tool
// in use.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "gcode/program.h"
#include "gcode/settings.h"

using namespace korva3_gcode;

namespace {

Settings machine()
{
    Settings s;
    s.tool_lengths = {{1, 10}, {3, 12.5}};
    s.work_offsets[6] = {0, 0, -5}; // G59.1
    return s;
}

} // namespace

// Where Z ends, in pulses (1000 per mm) from the machine's zero.
TEST(GcodeTools, TheLengthOfTheToolInUseCountsOnce)
{
    const struct {
        const char *text;
        int64_t z;
    } cases[] = {
        {"T1 M6\nG43\nG0 Z0", 10000},
        {"T1 M6 G43 G0 Z0", 10000},                    // M6 acts before G43 on its line
        {"T3\nG43\nG0 Z0", 0},                         // T3 not changed to: none in use
        {"T1 M6\nT3\nG43\nG0 Z0", 10000},              // T3 only selected: tool 1 in use
        {"T1 M6\nG43\nT3 M6\nG0 Z0", 10000},           // a change keeps the length until G43
        {"G43 H3\nG43 H3\nG0 Z0", 12500},              // set, not added
        {"G43 H3\nG43 H1\nG0 Z0", 10000},
        {"G43 H3\nG0 Z0\nG49\nG0 Z0", 0},
        {"G43 H3\nG49 G0 Z1", 1000},
        {"G0 Z1\nG43 H3", 1000},                       // G43 alone does not move
        {"G0 G43 Z1 H3", 13500},                       // as CAM posts write it
        {"G43 H0\nG0 Z1", 1000},                       // tool 0: none, length 0
        {"G20 G43 H1\nG0 Z0", 10000},                  // the table is in mm
        {"G43.1 Z2\nG0 Z0", 2000},
        {"G20 G43.1 Z1\nG0 Z0", 25400},                // G43.1 in the program's units
        {"G0 Z5\nG43.1 Z2", 5000},                     // its Z is no move
        {"G59.1 G43 H3 G0 Z0", 7500},                  // with a work offset
        {"G0 Z4\nG43 H3\nG92 Z0\nG0 Z1", 5000},        // under G92: once
        {"G43 H1\nG10 L20 P1 Z0\nG0 Z0", 0},           // under G10 L20: once
        {"G43 H1\nG53 G0 Z2", 2000},                   // G53: machine coordinates
        {"G43 H1\nG91 G0 Z1", 1000},                   // incremental: no length
        // The table changed for the run: G10 L1 gives a length, L10 / L11 the one that
        // makes here read Z (with / without the work offset and G92); G43 applies it.
        {"G10 L1 P1 Z4\nG43 H1\nG0 Z0", 4000},
        {"G43 H1\nG10 L1 P1 Z4\nG0 Z0", 10000},        // in force until the next G43
        {"G10 L1 P7 Z2 R3\nT7 M6 G43\nG0 Z0", 2000},  // a new tool; R not used
        {"G10 L1 P1 R3\nG43 H1\nG0 Z0", 10000},       // no Z: the length kept
        {"G20 G10 L1 P1 Z1\nG43 H1\nG0 Z0", 25400},
        {"G0 Z3\nG10 L10 P1 Z0\nG43 H1\nG0 Z0", 3000},
        {"G59.1 G0 Z3\nG10 L10 P1 Z1\nG43 H1\nG0 Z0", -3000}, // 3 - 1 - (-5) = 7 long
        {"G0 Z3\nG92 Z1\nG10 L10 P1 Z0\nG43 H1\nG0 Z0", 3000},
        {"G59.1 G0 Z3\nG10 L11 P1 Z1\nG43 H1\nG0 Z0", -8000}, // machine -2 reads 1: -3 long
        {"G59.1 G0 Z3\nG10 L11 P1 Z1\nG43 H1\nG0 Z1", -7000},
    };
    for (const auto &c : cases) {
        Program p;
        std::vector<std::string> errors;
        ASSERT_TRUE(read_program("t.ngc", c.text, machine(), p, errors))
            << c.text << ": " << errors.front();
        EXPECT_EQ(korva3_planner::to_pulses(p.end, machine().scale)[2], c.z) << c.text;
    }
}

TEST(GcodeTools, ItsErrors)
{
    const struct {
        const char *text;
        const char *error;
    } cases[] = {
        {"G43 H5", "t.ngc:1: G43 H5: tool 5 is not in the machine file's [tools] table"},
        {"T5 M6\nG43", "t.ngc:2: G43: tool 5 (the one in use) is not in the machine file's [tools] table"},
        {"M6", "t.ngc:1: M6 with no tool selected (T first: T3 M6)"},
        {"T1.5", "t.ngc:1: T1.5: a tool is a whole number 0 .. 99999"},
        {"T100000", "t.ngc:1: T100000: a tool is a whole number 0 .. 99999"},
        {"G43 H-1", "t.ngc:1: H-1: a tool is a whole number 0 .. 99999"},
        {"G0 X1 H1", "t.ngc:1: H is used only by G43 (whose tool's length applies)"},
        {"G10 L1 Z1", "t.ngc:1: G10 L1 needs P1 .. P99999: the tool"},
        {"G10 L10 P0 Z1", "t.ngc:1: G10 L10 needs P1 .. P99999: the tool"},
        {"G10 L1 P1 X1 Z1", "t.ngc:1: G10 L1: a tool's X and Y offsets (lathe tools) are not supported"},
        {"G43.1 H1 Z1", "t.ngc:1: H is used only by G43 (whose tool's length applies)"},
        {"G43.1", "t.ngc:1: G43.1 takes Z alone: the tool's length"},
        {"G43.1 X1 Z1", "t.ngc:1: G43.1 takes Z alone: the tool's length"},
        {"G43.1 G0 Z1", "t.ngc:1: G43.1 and G0 on one line: G43.1's Z is the tool's length, not a move"},
        {"G43 G49", "t.ngc:1: G43 and G49 on one line: both of the tool length group"},
        {"T1 T3", "t.ngc:1: T twice on one line"},
    };
    for (const auto &c : cases) {
        Program p;
        std::vector<std::string> errors;
        ASSERT_FALSE(read_program("t.ngc", c.text, machine(), p, errors)) << c.text;
        EXPECT_EQ(errors.front(), c.error) << c.text;
    }
}

// M6 pauses before its line's move, says which tool, and the tools changed to are listed.
TEST(GcodeTools, ChangesPauseAndAreListed)
{
    Program p;
    std::vector<std::string> errors;
    ASSERT_TRUE(read_program("t.ngc", "T3 M6 G0 X1\nT1\nM6\nT3 M6 M0\n", machine(), p, errors))
        << errors.front();
    std::vector<std::string> seen; // pauses' texts and lines' targets, in order
    for (const Move &m : p.moves)
        if (m.op == Op::Pause)
            seen.push_back(m.note);
        else if (m.op == Op::Line)
            seen.push_back("line to X" +
                           std::to_string(korva3_planner::to_pulses(m.end, machine().scale)[0]));
    EXPECT_EQ(seen, (std::vector<std::string>{"M6: tool 3", "line to X1000", "M6: tool 1",
                                              "M6: tool 3", "M0"}));
    EXPECT_EQ(p.tools_used, (std::set<int>{1, 3}));
}

TEST(GcodeTools, TheMachineFilesTable)
{
    std::string path = ::testing::TempDir() + "tools.toml";
    std::ofstream(path) << "[tools]\nt3 = 12.5\nt99999 = -2\n";
    Settings s;
    std::string error;
    ASSERT_TRUE(read_machine_file(path, s, error)) << error;
    EXPECT_EQ(s.tool_lengths, (std::map<int, double>{{3, 12.5}, {99999, -2}}));
    const char *const keys[] = {"t0", "t03", "t100000", "x3", "t"};
    for (const char *key : keys) {
        std::ofstream(path) << "[tools]\n" << key << " = 1\n";
        EXPECT_FALSE(read_machine_file(path, s, error)) << key;
        EXPECT_EQ(error, path + ":2: tools: unknown key '" + key +
                             "' (t1 .. t99999: a tool's length in mm)");
    }
    std::ofstream(path) << "[tools]\nt3 = \"long\"\n";
    EXPECT_FALSE(read_machine_file(path, s, error));
    EXPECT_EQ(error, path + ":2: tools.t3 must be a number");
    std::remove(path.c_str());
}
