// machine_file_test.cpp - machine files that no TOML reader should be handed: refused
// with their line (or as no file at all), never a crash or a hang.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "gcode/settings.h"

using namespace korva3_gcode;

namespace {

std::string repeat(const std::string &part, std::size_t n)
{
    std::string out;
    for (std::size_t i = 0; i < n; i++)
        out += part;
    return out;
}

} // namespace

TEST(GcodeMachineFile, FilesTheParserCannotSurviveAreRefusedWithTheirLine)
{
    struct Case {
        std::string text;
        int line;
        const char *what;
    } cases[] = {
        {"'\xff'", 1, "not UTF-8 text (byte 0xFF)"},
        {repeat("# " + std::string(61, '-') + "\n", 32768) + "'\xff'", 16385,
         "the file goes on past 1 MiB"},
        {"rapid = " + repeat("[", 10000) + repeat("]", 10000), 1, "arrays and inline tables nested more than 32 deep"},
        {"scale = " + repeat("{x = ", 10000) + "1" + repeat("}", 10000), 1, "arrays and inline tables nested more than 32 deep"},
        {"\nscale" + repeat(".x", 50000) + " = 1", 2, "a dotted key of more than 32 parts"},
    };
    const std::string path = ::testing::TempDir() + "hostile_machine.toml";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(path, std::ios::binary) << c.text;
        Settings s;
        std::string error;
        EXPECT_FALSE(read_machine_file(path, s, error));
        EXPECT_EQ(error.rfind(path + ":" + std::to_string(c.line) + ": " + c.what, 0), 0u) << error;
    }
    std::remove(path.c_str());

    Settings s;
    std::string error;
    EXPECT_FALSE(read_machine_file(::testing::TempDir(), s, error));
    EXPECT_EQ(error, ::testing::TempDir() + ": not a regular file (a folder)");
}

// Settings no motion could be planned with (nothing would end, or the arithmetic would
// leave the numbers) are refused with their line and the range.
TEST(GcodeMachineFile, AbsurdSettingsAreRefusedWithTheirLineAndRange)
{
    const struct {
        const char *text;
        int line;
        const char *what;
    } cases[] = {
        {"[scale]\nx = 1e-300\n", 2, "scale.x: 0.001..1000000 pulses per mm, not 1e-300"},
        {"[max_velocity]\ny = 1e-300\n", 2, "max_velocity.y: 0.001..1000000 mm/min, not 1e-300"},
        {"[max_accel]\nz = inf\n", 2, "max_accel.z: 0.001..10000000 mm/s^2, not inf"},
        {"[max_accel]\nz = nan\n", 2, "max_accel.z: 0.001..10000000 mm/s^2, not nan"},
        {"rapid = 0\n", 1, "rapid: 0.001..1000000 mm/min, not 0"},
        {"path_tolerance = inf\n", 1, "path_tolerance: 1e-06..100 mm, not inf"},
        {"arc_tolerance = -1\n", 1, "arc_tolerance: 1e-06..100 mm, not -1"},
        {"slice_us = 0\n", 1, "slice_us must be a whole number 1..1000000"},
        {"[gcode]\nsubroutine_path = [3]\n", 2,
         "gcode.subroutine_path holds folders' names (strings)"},
    };
    const std::string path = ::testing::TempDir() + "absurd_machine.toml";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        std::ofstream(path, std::ios::binary) << c.text;
        Settings s;
        std::string error;
        EXPECT_FALSE(read_machine_file(path, s, error));
        EXPECT_EQ(error, path + ":" + std::to_string(c.line) + ": " + c.what);
    }
    std::remove(path.c_str());
}

TEST(GcodeMachineFile, SubroutineFoldersAreRelativeToTheFile)
{
    const std::string path = ::testing::TempDir() + "subs_machine.toml";
    std::ofstream(path, std::ios::binary) << "[gcode]\nsubroutine_path = [\"subs\", \"/cnc\"]\n";
    Settings s;
    std::string error;
    ASSERT_TRUE(read_machine_file(path, s, error)) << error;
    const std::string dir = path.substr(0, path.rfind('/') + 1);
    EXPECT_EQ(s.subroutine_path, (std::vector<std::string>{dir + "subs", "/cnc"}));
    std::remove(path.c_str());
}
