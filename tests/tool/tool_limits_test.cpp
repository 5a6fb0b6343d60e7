// tool_limits_test.cpp - what the tool does with input that would hang it or eat the
// machine: oversized jobs and lines, a directory given as the job, an output file that
// cannot be written, and a library call that blocks past the time limit.
#include <gtest/gtest.h>

#include <sstream>

#include "job/job_file.h"
#include "run/outputs.h"
#include "tool_fixture.h"
#include "run/watchdog.h"

using namespace korva3_tool;

namespace {

TEST(ToolFiles, JobsPastTheirLimitsAreRefusedWithAReason)
{
    const std::string line(kMaxLineChars, 'A');
    struct {
        std::string text;
        bool ok;
        std::string error;
    } cases[] = {
        {"INITIAL\n" + line + "\n", true, ""},
        {"INITIAL\n" + line + "A\n", false, "j:2: line longer than 4096 characters"},
        {std::string(kMaxLineChars + 1, '\0'), false, "j:1: line longer than 4096 characters"},
        {std::string(kMaxJobBytes + 1, '\n'), false, "j: a job holds at most 16 MB; this one is longer"},
    };
    for (const auto &c : cases) {
        std::istringstream in(c.text);
        std::string text, error;
        EXPECT_EQ(read_job_stream(in, "j", text, error), c.ok);
        EXPECT_EQ(error, c.error);
    }
}

TEST(ToolFiles, ADirectoryIsNeitherAJobNorAPlot)
{
    std::string text, error;
    EXPECT_FALSE(read_job_file(".", text, error));
    EXPECT_EQ(error, ". is a directory, not a job file");
    EXPECT_FALSE(check_writable(".", error));
    EXPECT_FALSE(check_writable("no/such/folder/plot.svg", error));
    EXPECT_EQ(error, "cannot write no/such/folder/plot.svg: No such file or directory");
}

TEST(ToolLimits, AWatchdogEndsALibraryCallThatBlocksPastTheLimit)
{
    RunOptions options;
    options.limit_ms = 500;
    JobRun r = run_text(std::string(kPrologue) + "CONSTANT_SPEED 0 1 0 10\n"
                                                 "WAIT_X 0\n"
                                                 "INTP_LINE 0 1000 0 100\n",
                        options);
    EXPECT_EQ(r.code, EXIT_JOB_FAILED);
    EXPECT_NE(r.err.find("t.job:5: WAIT_X still running at the time limit (500 ms): "
                         "emergency stop"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.recording.cards[0].slices, 0u); // nothing after it ran
}

} // namespace
