// Tests of the job file parser: every library function with its argument count, the
// verbs, and the messages of bad lines.
#include <gtest/gtest.h>

#include <set>

#include "job/functions.h"
#include "job/job.h"

using namespace korva3_tool;

namespace {

// Parses text as job "t.job"; the errors joined by newlines ("" when good).
std::string errors_of(const std::string &text, Job *out = nullptr)
{
    Job job;
    std::vector<std::string> errors;
    parse_job("t.job", text, job, errors);
    std::string all;
    for (const std::string &e : errors)
        all += (all.empty() ? "" : "\n") + e;
    if (out)
        *out = job;
    return all;
}

TEST(Functions, AllFiftyTwoWithTheirArgumentCounts)
{
    const std::map<std::string, size_t> arity = {
        {"INITIAL", 0}, {"END", 0}, {"REGISTRATION", 2}, {"DI", 1}, {"DO", 2}, {"MSC", 1},
        {"WAIT_X", 1}, {"WAIT_Y", 1}, {"WAIT_Z", 1}, {"IS_X_STOP", 1}, {"IS_Y_STOP", 1},
        {"IS_Z_STOP", 1}, {"RESET_SYSTEM", 1}, {"STOP_ALL", 1}, {"EMG_STOP", 1},
        {"SET_CONTROL_MODE", 4}, {"SET_VAR", 6}, {"SET_DEFDIR", 4}, {"SET_SERVO_ON", 4},
        {"SET_ZERO", 2}, {"PRESET_POSITION", 3}, {"SET_NC", 2}, {"STOP", 2}, {"DEC_STOP", 2},
        {"BACK_HOME", 4}, {"BACK_HOME01", 3}, {"PULSE_MOVE", 4}, {"INTP_PULSE", 4},
        {"CONSTANT_SPEED", 4}, {"INTP_XYZ", 5}, {"INTP_LINE01", 5}, {"INTP_LINE", 4},
        {"INTP_CIRCLE01", 6}, {"INTP_CIRCLE", 5}, {"INTP_ARC01", 7}, {"INTP_ARC", 6},
        {"INTP_XYZ02", 6}, {"INTP_LINE02", 6}, {"INTP_CIRCLE02", 7}, {"INTP_ARC02", 8},
        {"INTP_STOP", 0}, {"INTP_ONLINE_SETSPEED", 1}, {"GET_CARD", 1}, {"GET_SYS", 1},
        {"GET_LIMIT", 1}, {"GET_P1", 1}, {"GET_XC", 1}, {"GET_XP", 1}, {"GET_YC", 1},
        {"GET_YP", 1}, {"GET_ZC", 1}, {"GET_ZP", 1}};
    ASSERT_EQ(functions().size(), 52u);
    std::set<std::string> seen;
    for (const Function &f : functions()) {
        EXPECT_TRUE(seen.insert(f.name).second) << f.name;
        ASSERT_EQ(arity.count(f.name), 1u) << f.name;
        EXPECT_EQ(params_of(f).size(), arity.at(f.name)) << f.name;
        // A line with that many arguments parses; one more or one fewer does not.
        std::string line = f.name;
        for (size_t i = 0; i < arity.at(f.name); i++)
            line += " 1";
        Job job;
        EXPECT_EQ(errors_of(line, &job), "") << line;
        ASSERT_EQ(job.steps.size(), 1u);
        EXPECT_EQ(job.steps[0].function, &f);
        EXPECT_EQ(job.steps[0].args.size(), arity.at(f.name));
        EXPECT_NE(errors_of(line + " 1"), "") << line;
        if (arity.at(f.name) > 0) {
            EXPECT_NE(errors_of(line.substr(0, line.size() - 2)), "") << line;
        }
    }
}

TEST(JobParser, CommentsBlankLinesSeparatorsAndNumbers)
{
    Job job;
    ASSERT_EQ(errors_of("# a job\n"
                        "\n"
                        "   INITIAL   # set up\r\n"
                        "KORVA3_REGISTRATION 0 0\n"
                        "\tINTP_LINE 0, -1000, 0x1F4, 100\n"
                        "DO 0 0x7f\n"
                        "PULSE_MOVE 0 1 -2147483648 4294967295\n"
                        "poll 0 20\n"
                        "poll 0 20 5\n"
                        "wait 15\n"
                        "sleep 0\n"
                        "print 0\n"
                        "expect 0 -5 +6 7\n",
                        &job),
              "");
    ASSERT_EQ(job.steps.size(), 11u);
    EXPECT_EQ(job.steps[0].line, 3);
    EXPECT_EQ(job.steps[0].text, "INITIAL");
    EXPECT_EQ(job.steps[1].function->name, std::string("REGISTRATION"));
    EXPECT_EQ(job.steps[2].args, (std::vector<int64_t>{0, -1000, 500, 100}));
    EXPECT_EQ(job.steps[3].args, (std::vector<int64_t>{0, 127}));
    EXPECT_EQ(job.steps[4].args, (std::vector<int64_t>{0, 1, -2147483648LL, 4294967295LL}));
    EXPECT_EQ(job.steps[5].verb, Verb::Poll);
    EXPECT_EQ(job.steps[5].args, (std::vector<int64_t>{0, 20}));
    EXPECT_EQ(job.steps[6].args, (std::vector<int64_t>{0, 20, 5}));
    EXPECT_EQ(job.steps[7].verb, Verb::Wait);
    EXPECT_EQ(job.steps[8].verb, Verb::Sleep);
    EXPECT_EQ(job.steps[9].verb, Verb::Print);
    EXPECT_EQ(job.steps[10].verb, Verb::Expect);
    EXPECT_EQ(job.steps[10].args, (std::vector<int64_t>{0, -5, 6, 7}));
}

struct BadLine {
    const char *line;
    const char *message; // the whole message for line 1 of t.job
};

class BadLines : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadLines, GiveAClearMessageWithTheLineNumber)
{
    EXPECT_EQ(errors_of(GetParam().line), std::string("t.job:1: ") + GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadLines,
    ::testing::Values(
        // Unknown names, with a guess where one is close.
        BadLine{"INTP_LNE 0 1 2 3", "unknown function or verb 'INTP_LNE' (did you mean INTP_LINE?)"},
        BadLine{"intp_line 0 1 2 3",
                "unknown function or verb 'intp_line' (did you mean INTP_LINE?)"},
        BadLine{"WAIT 0", "unknown function or verb 'WAIT' (did you mean wait?)"},
        BadLine{"MOVE_TO_THE_MOON 0", "unknown function or verb 'MOVE_TO_THE_MOON'"},
        BadLine{"0 1 2", "unknown function or verb '0'"},
        // Wrong argument counts.
        BadLine{"INTP_LINE 0 1 2",
                "INTP_LINE takes 4 arguments (card -du -dv speed), got 3"},
        BadLine{"INITIAL 1", "INITIAL takes 0 arguments, got 1"},
        BadLine{"INTP_ONLINE_SETSPEED", "INTP_ONLINE_SETSPEED takes 1 argument (speed), got 0"},
        BadLine{"INTP_ARC02 0 1 2000 0 1000 1 200",
                "INTP_ARC02 takes 8 arguments (card plane -end_u -end_v -radius direction "
                "speed no_ramp), got 7"},
        // Bad integers.
        BadLine{"SET_VAR 0 10 2 2 1.5 30",
                "SET_VAR: argument 5 (high_speed) '1.5' is not an integer"},
        BadLine{"INTP_LINE 0 1e3 0 100", "INTP_LINE: argument 2 (du) '1e3' is not an integer"},
        BadLine{"DO 0 0x", "DO: argument 2 (value) '0x' is not an integer"},
        BadLine{"DO 0 -", "DO: argument 2 (value) '-' is not an integer"},
        BadLine{"DO 0 12abc", "DO: argument 2 (value) '12abc' is not an integer"},
        BadLine{"DO 0 -1", "DO: argument 2 (value) -1 is out of range (0..4294967295)"},
        BadLine{"PULSE_MOVE 0 1 3000000000 10",
                "PULSE_MOVE: argument 3 (pulses) 3000000000 is out of range "
                "(-2147483648..2147483647)"},
        BadLine{"REGISTRATION 99999999999999999999999 0",
                "REGISTRATION: argument 1 (card) 99999999999999999999999 is out of range "
                "(0..4294967295)"},
        // Verbs.
        BadLine{"wait", "wait takes 1 argument (wait CARD), got 0"},
        BadLine{"wait 16", "wait: argument 1 16 is out of range (0..15)"},
        BadLine{"poll 0", "poll takes 2 or 3 arguments (poll CARD MS [N]), got 1"},
        BadLine{"poll 0 0", "poll: argument 2 0 is out of range (1..3600000)"},
        BadLine{"poll 0 20 0", "poll: argument 3 0 is out of range (1..100000000)"},
        BadLine{"sleep soon", "sleep: argument 1 'soon' is not an integer"},
        BadLine{"print 0 0", "print takes 1 argument (print CARD), got 2"},
        BadLine{"expect 0 1 2", "expect takes 4 arguments (expect CARD X Y Z), got 3"}));

TEST(JobParser, EveryBadLineIsReportedAndNoStepIsKept)
{
    Job job;
    std::string errors = errors_of("INITIAL\n"
                                   "REGISTRATION 0 0\n"
                                   "INTP_LINE 0 1000\n"
                                   "INTP_LINE 0 1000 0 100\n"
                                   "jump 3\n",
                                   &job);
    EXPECT_EQ(errors, "t.job:3: INTP_LINE takes 4 arguments (card -du -dv speed), got 2\n"
                      "t.job:5: unknown function or verb 'jump'");
    EXPECT_TRUE(job.steps.empty()); // so nothing runs, not even the good lines before
}

} // namespace
