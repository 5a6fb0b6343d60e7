// Tests of what a machine description can never do: crash, hang or exhaust the program
// that loads it (files toml11 cannot survive, files that are no files, more cards than
// the library's table holds), and of a trace that cannot be written.
#include "sim_fixture.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

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

#ifndef _WIN32
// A trace that cannot be written says so once on standard error; a trace named by a
// link is not written through it.
TEST_F(MachineFileLimits, TraceWriteFailuresAreReportedOnceAndLinksNotFollowed)
{
    ::testing::internal::CaptureStderr();
    std::string error;
    ASSERT_EQ(load_file(write_file("limits_full.toml", "trace = \"/dev/full\"\n[clock]\nmode = \"virtual\"\n[[card]]\n"),
                        error),
              1u)
        << error;
    ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    KSIM_ADVANCE_MS(200); // status reports: lines the trace cannot take
    KSIM_RESET();
    const std::string said = ::testing::internal::GetCapturedStderr();
    const std::string failed = "korva32sim: writing the trace file /dev/full failed";
    EXPECT_NE(said.find(failed), std::string::npos) << said;
    EXPECT_EQ(said.find(failed), said.rfind(failed)) << said;

    write_file("limits_target.txt", "keep me\n");
    std::remove("limits_link.jsonl");
    ASSERT_EQ(symlink("limits_target.txt", "limits_link.jsonl"), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(load_file(write_file("limits_link.toml", "trace = \"limits_link.jsonl\"\n"), error), 1u);
    KSIM_RESET();
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("cannot write the trace file limits_link.jsonl: it is a symbolic link"),
              std::string::npos);
    std::ifstream target("limits_target.txt");
    std::stringstream kept;
    kept << target.rdbuf();
    EXPECT_EQ(kept.str(), "keep me\n");
    for (const char *f : {"limits_full.toml", "limits_link.toml", "limits_link.jsonl", "limits_target.txt"})
        std::remove(f);
}
#endif

} // namespace
