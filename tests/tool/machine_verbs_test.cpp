// Tests of the virtual machine's verbs in jobs (switches, inputs, timing), of --csv, and
// of the emergency stop the tool sends every registered card when interrupted.
#include "tool_fixture.h"

#include <chrono>
#include <thread>

#include "run/interrupt.h"

using namespace korva3_tool;

namespace {

TEST(MachineVerbs, AHomingJobFindsItsSwitchAndALimitStopsAMove)
{
    JobRun r = run_text("home_switch 0 1 -5000\n"
                        "limits 0 2 -100 3000\n"
                        "inputs 0 0xA5\n"
                        "timing 0 500 64\n" + std::string(kPrologue) +
                        "PRESET_POSITION 0 1 7000\n"  // X: 7000 in program units
                        "BACK_HOME 0 1 0 0\n"
                        "wait 0\n"
                        "expect 0 0 0 0\n"            // the home switch is the new origin
                        "PULSE_MOVE 0 2 5000 50\n"
                        "wait 0\n"
                        "expect 0 0 3000 0\n"         // Y stopped at its high limit switch
                        "DI 0\n");
    EXPECT_EQ(r.code, EXIT_OK) << r.err << r.out;
    EXPECT_NE(r.out.find("DI 0 -> 0xA5"), std::string::npos) << r.out;
    // Finding the home switch gives X new coordinates: no speed (X homes at 400 per ms).
    ASSERT_FALSE(r.recording.cards.empty());
    for (const SpeedBin &b : r.recording.cards[0].speed.bins())
        EXPECT_LE(std::max(-b.lo[0], b.hi[0]), 400.0f);
    JobRun bad = run_text("limits 3 1 0 10\n");
    EXPECT_EQ(bad.code, EXIT_JOB_FAILED);
    EXPECT_NE(bad.err.find("no virtual card #3"), std::string::npos) << bad.err;
}

TEST(Csv, EveryPositionWithTheLineThatDefinedIt)
{
    std::ostringstream csv;
    RunOptions options;
    options.csv = &csv;
    JobRun r = run_text(std::string(kPrologue) + "INTP_LINE 0 1000 0 100\n"
                                                 "INTP_LINE02 0 1 0 500 50 0\n"
                                                 "poll 0 10\n",
                        options);
    ASSERT_EQ(r.code, EXIT_OK) << r.err;
    std::string text = csv.str();
    EXPECT_EQ(text.rfind("time_ms,card,line,x,y,z\n", 0), 0u);
    EXPECT_NE(text.find(",0,4,1000,0,0\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 16), ",0,5,1000,500,0\n") << text;
    EXPECT_EQ(text.find(",0,6,"), std::string::npos); // the poll defined nothing
}

TEST(Interrupt, AnEmergencyStopEndsARunningPath)
{
    // What Ctrl-C does before the tool exits: a stop from another thread while the job's
    // thread is inside a blocking path of 50 million slices.
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        interrupt::stop_cards();
    });
    auto begin = std::chrono::steady_clock::now();
    JobRun r = run_text(std::string(kPrologue) + "INTP_LINE 0 100000000 0 2\n");
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
    ASSERT_FALSE(r.recording.cards.empty());
    EXPECT_LT(r.recording.cards[0].path.back().x, 100000000);
}

} // namespace
