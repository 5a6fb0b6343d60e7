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
