// coords_test.cpp - coordinate systems: work offsets, G10, G92 and its suspension, G53,
// G28/G30; each offset counted once, whatever else is in force.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "gcode/program.h"
#include "gcode/settings.h"

using namespace korva3_gcode;

namespace {

Settings machine()
{
    Settings s;
    s.work_offsets[0] = {10, 0, 0};  // G54
    s.work_offsets[1] = {0, 20, 0};  // G55
    s.work_offsets[6] = {0, 0, -5};  // G59.1
    s.g28 = {1, 2, 3};
    s.g30 = {-1, -2, -3};
    return s;
}

} // namespace

// Where each program ends, in pulses (1000 per mm) from the machine's zero.
TEST(GcodeCoords, EachOffsetCountsOnce)
{
    const struct {
        const char *text;
        PulsePoint end;
    } cases[] = {
        {"G0 X1", {11000, 0, 0}},                               // G54 at the start
        {"G55 G0 X1 Y1", {1000, 21000, 0}},
        {"G59.1 G0 Z1", {0, 0, -4000}},
        {"G0 X1\nG92 X0\nG0 X2", {13000, 0, 0}},                // G92 over G54
        {"G0 X1\nG92 X0\nG55 G0 X2 Y0", {3000, 20000, 0}},      // G92 kept under G55
        {"G0 X1\nG92 X0\nG92.2\nG0 X2", {12000, 0, 0}},          // suspended
        {"G0 X1\nG92 X0\nG92.2\nG92.3\nX2", {13000, 0, 0}},     // restored
        {"G0 X1\nG92 X0\nG92.1\nG92.3\nX2", {12000, 0, 0}},     // cleared
        {"G10 L2 P2 X5 Y5\nG55 G0 X0 Y0", {5000, 5000, 0}},
        {"G10 L2 P0 X3\nG0 X0", {3000, 0, 0}},                  // P0: the one in force
        {"G0 X4\nG10 L20 P1 X0\nG0 X1", {15000, 0, 0}},          // here reads X0
        {"G0 X4\nG92 X0\nG10 L20 P1 X0\nG0 X1", {15000, 0, 0}},  // with G92 too: once
        {"G0 X1\nG53 G0 X0\nG0 Y1", {0, 1000, 0}},               // G53 on its line only
        {"G91 G53 G1 X2 F100", {2000, 0, 0}},                    // machine, in G91 too
        {"G0 X5 Y5 Z5\nG28", {1000, 2000, 3000}},
        {"G0 X5 Y5 Z5\nG28 Z7", {15000, 5000, 3000}},           // through Z7, only Z home
        {"G0 X5\nG30 X6", {-1000, 0, 0}},
        {"G0 X5 Y6 Z7\nG28.1\nG0 X0 Y0 Z0\nG28", {15000, 6000, 7000}},  // here, in machine terms
        {"G0 X5 Z1\nG30.1\nG0 X0\nG28 Z2\nG30 X9", {15000, 0, 3000}},  // G30's; G28's kept
        {"G55 G43.1 Z2\nG0 Y1 Z1\nG28.1\nG49 G0 Y0 Z0\nG28", {0, 21000, 3000}}, // length in
        {"G20 G10 L2 P1 X1\nG0 X0", {25400, 0, 0}},              // in the program's units
        {"G92 X1\nG52 X5\nG0 X0 Y0\nG52 Y2\nG0 X0 Y0", {15000, 2000, 0}}, // G52: G92's, kept
        {"G10 L2 P1 X2 R0\nG0 X0", {2000, 0, 0}},                // R0: no rotation
        // LinuxCNC's predefined parameters and offsets, in the units in force
        {"G0 X3 Y4\nG0 X[#<_x> + 1] Y#<_abs_y>", {14000, 4000, 0}},
        {"G10 L2 P2 X2\nG0 X#5241 Y#5220", {12000, 1000, 0}},
        {"G20 G0 X1\nG21\nG0 X[#<_abs_x> - 10] Y#5161", {35400, 1000, 0}}, // values read before G21
        {"G1 F100\nG0 X[#<_motion_mode> + #<_metric>] Y[#<_coord_system>]", {21000, 540000, 0}},
        {"T3 M6\nM61 Q5\nG0 X#<_current_tool> Y#5400 Z#<_selected_tool>", {15000, 5000, 3000}},
    };
    for (const auto &c : cases) {
        Program p;
        std::vector<std::string> errors;
        ASSERT_TRUE(read_program("t.ngc", c.text, machine(), p, errors))
            << c.text << ": " << errors.front();
        EXPECT_EQ(korva3_planner::to_pulses(p.end, machine().scale), c.end) << c.text;
    }
}

TEST(GcodeCoords, ItsErrors)
{
    const struct {
        const char *text;
        const char *error;
    } cases[] = {
        {"G10 P1 X1", "t.ngc:1: G10 needs L2 or L20 (work offsets) or L1, L10, L11 (tool lengths); other L are not supported"},
        {"G10 L2 P10 X1", "t.ngc:1: G10 L2 needs P0 .. P9 (0: the offset in force, 1: G54 .. 9: G59.3)"},
        {"G10 L2 P1 R30", "t.ngc:1: G10 R30 (a rotated coordinate system) is not supported; R0 is taken"},
        {"#<_x> = 1", "t.ngc:1: #<_X> is predefined (read only, as in LinuxCNC): set a name of your own"},
        {"M61", "t.ngc:1: M61 needs Q, the tool in use: a whole number 0 .. 99999"},
        {"G0 X1 L2", "t.ngc:1: L is used only by G10 and the canned cycles (repeats)"},
        {"F10\nG2 G53 X1 I1", "t.ngc:2: G53 moves only with G0 or G1 (G2 in force)"},
        {"G28 G0 X1", "t.ngc:1: G28 and G0 on one line"},
        {"G92.1 X1", "t.ngc:1: G92.1 takes no X, Y or Z"},
    };
    for (const auto &c : cases) {
        Program p;
        std::vector<std::string> errors;
        ASSERT_FALSE(read_program("t.ngc", c.text, machine(), p, errors)) << c.text;
        EXPECT_EQ(errors.front(), c.error) << c.text;
    }
}

TEST(GcodeCoords, TheMachineFilesOffsets)
{
    std::string path = ::testing::TempDir() + "offsets.toml";
    std::ofstream(path) << "[offsets]\ng55 = [1, 2.5, -3]\n\"g59.3\" = [4, 5, 6]\ng28 = [0, 0, 50]\n";
    Settings s;
    std::string error;
    ASSERT_TRUE(read_machine_file(path, s, error)) << error;
    EXPECT_EQ(s.work_offsets[1], (std::array<double, 3>{1, 2.5, -3}));
    EXPECT_EQ(s.work_offsets[8], (std::array<double, 3>{4, 5, 6}));
    EXPECT_EQ(s.g28, (std::array<double, 3>{0, 0, 50}));
    const struct {
        const char *text;
        const char *error;
    } bad[] = {
        {"[offsets]\ng60 = [0, 0, 0]\n", ":2: offsets: unknown key 'g60' (g54 .. g59, g59_1 .. g59_3, g28, g30)"},
        {"[offsets]\ng54 = [0, 0]\n", ":2: offsets.g54 must be [x, y, z] in mm"},
    };
    for (const auto &c : bad) {
        std::ofstream(path) << c.text;
        EXPECT_FALSE(read_machine_file(path, s, error)) << c.text;
        EXPECT_EQ(error, path + c.error);
    }
    std::remove(path.c_str());
}
