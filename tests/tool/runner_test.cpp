// Tests of running jobs on the virtual card: results and what was sent, the verbs,
// the controller's timing as a job sees it, and that nothing runs after a failing step.
#include "tool_fixture.h"

#include "korva3_sim.h"

using namespace korva3_tool;

namespace {

size_t count_of(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

TEST(Runner, ReportsResultsAndWhatWasSent)
{
    JobRun r = run_text(std::string(kPrologue) + "INTP_LINE 0 3000 4000 100\nwait 0\n");
    EXPECT_EQ(r.code, EXIT_OK) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("INITIAL -> 0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("REGISTRATION 0 0 -> 1"), std::string::npos);
    EXPECT_NE(r.out.find("sent link reset, link test"), std::string::npos);
    EXPECT_NE(r.out.find("sent speed parameters"), std::string::npos);
    EXPECT_NE(r.out.find("slices (3000, 4000, 0)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("card 0: X 3000  Y 4000  Z 0\n"), std::string::npos);
}

TEST(Runner, QuietPrintsOnlyTheFinalPositionsAndTracePrintsFrames)
{
    RunOptions quiet;
    quiet.output = Output::Quiet;
    JobRun q = run_text(std::string(kPrologue) + "INTP_LINE 0 300 400 100\n", quiet);
    EXPECT_EQ(q.out, "card 0: X 300  Y 400  Z 0\n");

    RunOptions trace;
    trace.output = Output::Trace;
    JobRun t = run_text(std::string(kPrologue) + "INTP_LINE 0 300 400 100\n", trace);
    EXPECT_NE(t.out.find("55 AA 40 80 37 46 00 00 00 00 00"), std::string::npos) << t.out;
    ASSERT_FALSE(t.recording.cards.empty());
    EXPECT_GT(t.recording.cards[0].slices, 1u);
    EXPECT_EQ(count_of(t.out, "  slice ("), t.recording.cards[0].slices) << t.out;
}

TEST(Runner, RegistersShowInHexAndSignedResultsKeepTheirSign)
{
    JobRun r = run_text(std::string(kPrologue) + "PRESET_POSITION 0 1 -25\nMSC 0\n");
    EXPECT_EQ(r.code, EXIT_OK);
    EXPECT_NE(r.out.find("MSC 0 -> 0x"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("card 0: X -25  Y 0  Z 0"), std::string::npos) << r.out;
}

TEST(Runner, WaitReturnsWhenASingleAxisMoveHasEnded)
{
    JobRun r = run_text(std::string(kPrologue) + "PULSE_MOVE 0 1 5000 50\n"
                                                 "wait 0\n"
                                                 "expect 0 5000 0 0\n");
    EXPECT_EQ(r.code, EXIT_OK) << r.err << r.out;
    // 5000 pulses at 50 pulses per ms: at least 100 ms of virtual time.
    EXPECT_GE(r.recording.end_ms - r.recording.start_ms, 100u);
}

TEST(Runner, TheCardFinishesQueuedSlicesBeforeTheFinalPositions)
{
    // A blocking path returns while the card still has slices queued; the tool lets it
    // finish before it reads the final positions.
    JobRun r = run_text(std::string(kPrologue) + "INTP_LINE 0 40000 0 200\n");
    EXPECT_EQ(r.code, EXIT_OK);
    EXPECT_NE(r.out.find("card 0: X 40000  Y 0  Z 0"), std::string::npos) << r.out;
    ASSERT_FALSE(r.recording.cards.empty());
    EXPECT_EQ(r.recording.cards[0].path.back().x, 40000);
}

TEST(Runner, PollPumpsAStepwisePathInBatches)
{
    JobRun r = run_text(std::string(kPrologue) + "INTP_LINE02 0 1 100000 0 100 0\n"
                                                 "poll 0 20\n"
                                                 "expect 0 100000 0 0\n");
    EXPECT_EQ(r.code, EXIT_OK) << r.err << r.out;
    // 1000 slices and a queue of 256: the card makes the library wait several times.
    size_t at = r.out.find(" batches, idle");
    ASSERT_NE(at, std::string::npos) << r.out;
    size_t start = r.out.rfind(", ", at) + 2;
    EXPECT_GE(std::stoi(r.out.substr(start, at - start)), 3) << r.out;
    EXPECT_EQ(r.recording.cards[0].sent[0], 100000);
}

TEST(Runner, PollWithACountStopsAfterThatManyPolls)
{
    JobRun r = run_text(std::string(kPrologue) + "INTP_LINE02 0 1 100000 0 100 0\n"
                                                 "poll 0 10 3\n");
    EXPECT_EQ(r.code, EXIT_OK);
    EXPECT_NE(r.out.find("3 polls, 3 batches;"), std::string::npos) << r.out;
    // Not pumped any further, the path stops short of its end.
    EXPECT_LT(r.recording.cards[0].path.back().x, 100000);
}

TEST(Runner, SleepLetsVirtualTimePass)
{
    JobRun r = run_text("sleep 1234\n");
    EXPECT_EQ(r.code, EXIT_OK);
    EXPECT_EQ(r.recording.end_ms - r.recording.start_ms, 1234u);
    EXPECT_NE(r.out.find("no card registered"), std::string::npos);
}

TEST(Runner, AFailingStepStopsTheJob)
{
    JobRun r = run_text(std::string(kPrologue) + "INTP_LINE 0 1000 0 100\n"
                                                 "wait 0\n"
                                                 "expect 0 999 0 0\n"
                                                 "INTP_LINE 0 1000 0 100\n");
    EXPECT_EQ(r.code, EXIT_JOB_FAILED);
    EXPECT_EQ(r.err, "t.job:6: expect: card 0 is at X 1000  Y 0  Z 0, not X 999  Y 0  Z 0\n");
    // The line after it did not run: the card received the first line's slices only.
    EXPECT_EQ(r.recording.cards[0].sent[0], 1000);
    EXPECT_EQ(r.out.find("    7 "), std::string::npos) << r.out;
}

TEST(Runner, AWaitThatNeverEndsFailsAtTheTimeLimit)
{
    RunOptions options;
    options.limit_ms = 500;
    JobRun r = run_text(std::string(kPrologue) + "CONSTANT_SPEED 0 1 0 10\n"
                                                 "wait 0\n"
                                                 "INTP_LINE 0 1000 0 100\n",
                        options);
    EXPECT_EQ(r.code, EXIT_JOB_FAILED);
    EXPECT_NE(r.err.find("t.job:5: wait: card 0 still at work after"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.recording.cards[0].slices, 0u);
}

TEST(Runner, PrintOfACardNumberNotBoundFails)
{
    JobRun r = run_text("INITIAL\nprint 3\n");
    EXPECT_EQ(r.code, EXIT_JOB_FAILED);
    EXPECT_EQ(r.err, "t.job:2: print: card number 3 reaches no card\n");
}

TEST(Runner, TwoCardsAreReportedApart)
{
    MachineSetup setup;
    setup.cards = {{0, 1, 0}, {0, 2, 1}};
    JobRun r = run_text("INITIAL\nREGISTRATION 0 0\nREGISTRATION 1 1\n"
                        "INTP_LINE 0 100 0 10\nINTP_LINE 1 0 200 10\n",
                        RunOptions{}, setup);
    EXPECT_EQ(r.code, EXIT_OK) << r.err;
    EXPECT_NE(r.out.find("card 0: X 100  Y 0  Z 0\ncard 1: X 0  Y 200  Z 0\n"),
              std::string::npos)
        << r.out;
    ASSERT_EQ(r.recording.cards.size(), 2u);
    EXPECT_EQ(r.recording.cards[1].card, 1);
}

} // namespace
