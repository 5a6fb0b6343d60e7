// Tests of the warnings: mistakes found by reading a job (check_job) and while running
// it (calls that reach no card, refused paths, stepwise requests not pumped), and
// --strict, which makes each a failure.
#include "tool_fixture.h"

#include "job/check.h"

using namespace korva3_tool;

namespace {

Job parsed(const std::string &text)
{
    Job job;
    std::vector<std::string> errors;
    EXPECT_TRUE(parse_job("t.job", text, job, errors)) << text;
    return job;
}

TEST(CheckJob, FindsTheMistakesOfAJobBeforeItRuns)
{
    const std::string p = kPrologue; // lines 1-3
    const struct {
        std::string job;
        const char *warning; // "" for none
        int line;
    } cases[] = {
        {"INTP_LINE 0 100 0 10\n", "card 0 is not registered by an earlier line", 1},
        {"REGISTRATION 0 0\n", "REGISTRATION before INITIAL", 1},
        {p + "PULSE_MOVE 0 0 100 10\n", "axis 0 is not an axis", 4},
        {p + "PULSE_MOVE 0 1 100 0\n", "speed 0: nothing moves", 4},
        {p + "INTP_LINE01 0 4 100 0 10\n", "plane 4 is not a plane", 4},
        {p + "INTP_CIRCLE 0 0 0 0 50\n", "the centre is the start point", 4},
        {p + "INTP_ARC 0 10000 0 100 1 50\n", "shorter than half the chord (5000)", 4},
        {p + "INTP_LINE02 0 1 100 0 10 0\nwait 0\n",
         "wait does not pump the stepwise request of line 4", 5},
        {p + "INTP_LINE02 0 1 100 0 10 0\n", "the stepwise request is never pumped", 4},
        {p + "INTP_LINE02 0 1 100 0 10 0\npoll 0 10\nINTP_LINE 0 100 0 10\nwait 0\n", "", 0},
    };
    for (const auto &c : cases) {
        std::vector<Warning> w = check_job(parsed(c.job));
        if (!*c.warning) {
            EXPECT_TRUE(w.empty()) << c.job << w[0].text;
            continue;
        }
        ASSERT_EQ(w.size(), 1u) << c.job;
        EXPECT_NE(w[0].text.find(c.warning), std::string::npos) << w[0].text;
        EXPECT_EQ(w[0].line, c.line) << c.job;
    }
}

TEST(RunWarnings, ShowOnStandardErrorWithTheJobLine)
{
    const std::string p = kPrologue;
    const struct {
        std::string job;
        const char *warning;
    } cases[] = {
        {"INTP_LINE 0 100 0 10\n",
         "t.job:1: warning: INTP_LINE: card 0 is not registered: the call reaches no card"},
        {"INITIAL\nREGISTRATION 1 5\n",
         "t.job:2: warning: REGISTRATION returned 0: card 1 is not registered\n"},
        {"INITIAL\nREGISTRATION 0 5\n",
         "t.job:2: warning: REGISTRATION returned 0: card 0 is not registered (the library "
         "says: DLL: GetCard==0)\n"},
        {p + "INTP_ARC 0 10000 0 100 1 50\n",
         "t.job:4: warning: INTP_ARC sent nothing: the library refused the path"},
        {p + "INTP_CIRCLE 0 0 0 0 50\n", "t.job:4: warning: INTP_CIRCLE sent nothing"},
        {p + "INTP_LINE02 0 1 1000 0 10 0\nwait 0\n",
         "t.job:5: warning: wait does not pump the stepwise request of line 4: use poll"},
        {p + "INTP_LINE02 0 1 100000 0 100 0\npoll 0 10 2\n",
         "t.job:4: warning: the stepwise request for card 0 was left unfinished"},
    };
    for (const auto &c : cases) {
        JobRun r = run_text(c.job);
        EXPECT_EQ(r.code, EXIT_OK) << c.job << r.err;
        EXPECT_NE(r.err.find(c.warning), std::string::npos) << c.job << r.err;

        RunOptions strict;
        strict.strict = true;
        JobRun s = run_text(c.job, strict);
        EXPECT_EQ(s.code, EXIT_JOB_FAILED) << c.job;
        EXPECT_NE(s.err.find("--strict makes it a failure"), std::string::npos) << s.err;
    }
    // A good job warns of nothing.
    JobRun good = run_text(p + "INTP_LINE02 0 1 1000 0 10 0\npoll 0 10\nwait 0\n");
    EXPECT_EQ(good.err, "");
}

} // namespace
