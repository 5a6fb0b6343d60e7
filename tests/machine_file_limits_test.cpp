// Tests of what a machine description can never do: crash, hang or exhaust the program
// that loads it (files toml11 cannot survive, files that are no files, more cards than
// the library's table holds).
#include "sim_fixture.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string repeat(const std::string &part, std::size_t n)
{
    std::string out;
    for (std::size_t i = 0; i < n; i++)
        out += part;
    return out;
}

// n [[card]] tables, each two lines long.
std::string cards(int n)
{
    std::string out;
    for (int i = 0; i < n; i++)
        out += "[[card]]\ndevice = " + std::to_string(i) + "\n";
    return out;
}

// Loads `path`: the result and the error text.
uint32_t load_file(const std::string &path, std::string &error)
{
    char buffer[512] = "";
    const uint32_t ok = KSIM_LOAD_MACHINE(path.c_str(), buffer, sizeof buffer);
    error = buffer;
    return ok;
}

std::string write_file(const std::string &name, const std::string &text)
{
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

class MachineFileLimits : public ::testing::Test {
protected:
    void SetUp() override { KSIM_RESET(); }
    void TearDown() override { KSIM_RESET(); }
};

// Each is refused with its line, and the machine has no card.
TEST_F(MachineFileLimits, FilesTheParserCannotSurviveAreRefusedWithTheirLine)
{
    const std::string comments = repeat("# " + std::string(61, '-') + "\n", 32768); // 2 MiB
    struct Case {
        std::string text;
        int line;
        const char *what;
    } cases[] = {
        {"'\xff'", 1, "not UTF-8 text (byte 0xFF)"},
        {"os = \"xp\"\n'\xc3'", 2, "not UTF-8 text (byte 0xC3)"}, // cut short at the end
        {comments + "'\xff'", 16385, "the file goes on past 1 MiB"},
        {"a = " + repeat("[", 10000) + repeat("]", 10000), 1, "arrays and inline tables nested more than 32 deep"},
        {"\na = " + repeat("{b = ", 10000) + "1" + repeat("}", 10000), 2, "arrays and inline tables nested more than 32 deep"},
        {"a" + repeat(".a", 50000) + " = 1", 1, "a dotted key of more than 32 parts"},
        {"[a" + repeat(".\"a\"", 40) + "]", 1, "a dotted key of more than 32 parts"},
        {cards(17), 33, "card 16: at most 16 cards (the library's table holds 16)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const std::string name = write_file("limits_test.toml", c.text);
        EXPECT_EQ(load_file(name, error), 0u);
        EXPECT_EQ(error.rfind(name + ":" + std::to_string(c.line) + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.what), std::string::npos) << error;
        EXPECT_EQ(KSIM_IO_BASE(0), 0u);
    }
    std::remove("limits_test.toml");

    // Within the limits, toml11 reads it (and refuses what it must).
    std::string error;
    EXPECT_EQ(load_file(write_file("limits_test.toml",
                                   "a" + repeat(".a", 31) + " = " + repeat("[", 32) +
                                       repeat("]", 32) + "\n[[card]]\nid = 2\n"),
                        error),
              0u);
    EXPECT_NE(error.find("limits_test.toml:1: unknown key 'a'"), std::string::npos) << error;
    EXPECT_EQ(load_file(write_file("limits_test.toml", cards(16)), error), 1u) << error;
    std::remove("limits_test.toml");
}

// Only a regular file is a description.
TEST_F(MachineFileLimits, OnlyARegularFileIsADescription)
{
    const char *cases[][2] = {
        {".", "not a regular file (a folder)"},
#ifndef _WIN32
        {"/dev/zero", "not a regular file (a device)"},
#endif
    };
    for (const auto &c : cases) {
        std::string error;
        EXPECT_EQ(load_file(c[0], error), 0u);
        EXPECT_EQ(error, std::string(c[0]) + ": " + c[1]);
        EXPECT_EQ(KSIM_IO_BASE(0), 0u);
    }
}

} // namespace
