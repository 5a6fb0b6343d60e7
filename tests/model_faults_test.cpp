/*
 * model_faults_test.cpp - the virtual card where a long run or a second thread pushes
 * it: status piled up before a link test, commands torn by a reset, positions at the
 * ends of the 32-bit counter, and logging turned off.
 */
#include "sim_fixture.h"

#include <atomic>
#include <climits>
#include <functional>
#include <thread>

namespace {

/* A card on the default timing (status every 20 ms), not yet registered. */
class Model : public ::testing::Test {
protected:
    void SetUp() override
    {
        KSIM_RESET();
        ASSERT_EQ(add_card(0, 1, 0), 0);
        KORVA3_INITIAL();
    }
    static int32_t pos(uint32_t axis) { return KSIM_POSITION(0, axis); }
};

/* Writing 0 to the status register clears the mailbox: the link test's echo is not
 * queued behind the reports nobody read. */
TEST_F(Model, RegistrationPassesTheLinkTestWhateverStatusPiledUp)
{
    KSIM_ADVANCE_MS(300); // 15 reports, 510 bytes unread
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    KORVA3_INTP_LINE(0, 100000, 0, 100); // the mailbox fills up while the path runs
    EXPECT_GT(KSIM_CARD_VALUE(0, "outbound", 0), 1000);
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    KSIM_ADVANCE_MS(20);
    EXPECT_NE(KORVA3_GET_CARD(0), 0u);
}

/* Positions are 32-bit counters: presets, zeroing and homing across their ends wrap. */
TEST_F(Model, PositionsWrapAtTheEndsOfTheCounter)
{
    ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    KSIM_SET_LOGGING(0);
    KORVA3_PRESET_POSITION(0, 1, INT32_MIN);
    EXPECT_EQ(pos(1), INT32_MIN);
    KORVA3_PULSE_MOVE(0, 1, -10, 50); // below the counter's end
    KORVA3_WAIT_X(0);
    EXPECT_EQ(pos(1), INT32_MAX - 9);
    KORVA3_SET_ZERO(0, 1);
    EXPECT_EQ(pos(1), 0);
    KORVA3_PRESET_POSITION(0, 1, INT32_MAX);
    KSIM_SET_HOME(0, 1, 40);
    KORVA3_BACK_HOME(0, 1, 0, 0); // 50 pulses up on the machine
    KORVA3_WAIT_X(0);
    EXPECT_EQ(pos(1), 0);
    KORVA3_PRESET_POSITION(0, 2, INT32_MAX);
    KORVA3_BACK_HOME01(0, 2, 0); // on the machine, already on the switch
    KORVA3_WAIT_Y(0);
    EXPECT_EQ(pos(2), 0);
}

TEST_F(Model, LoggingOffStopsEveryLog)
{
    KSIM_SET_LOGGING(0);
    for (uint32_t id : {0u, 9u}) // bound; no such card (a message box)
        KORVA3_REGISTRATION(0, id);
    EXPECT_EQ(take_os_calls(), "");
    EXPECT_EQ(take_messages(), "");
    KSIM_SET_LOGGING(1);
    KORVA3_REGISTRATION(0, 9);
    EXPECT_NE(take_os_calls(), "");
    EXPECT_EQ(take_messages(), "DLL: GetCard==0\n");
}

/* A stop from a second thread cuts the frame a path is sending. The card loses that
 * command and no other: every command after it arrives whole. */
TEST_F(Model, ACommandTornByAStopCostsThatCommandOnly)
{
    using Stop = std::function<void()>;
    const Stop stops[] = {[] { KORVA3_EMG_STOP(0); }, [] { KORVA3_RESET_SYSTEM(0); }};
    for (int run = 0; run < 12; run++) {
        SCOPED_TRACE(run);
        ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
        KSIM_SET_LOGGING(0);
        const int32_t sent = KSIM_CARD_VALUE(0, "intp_frames", 0);
        std::thread path([] { KORVA3_INTP_LINE(0, 4000000, 0, 20); });
        while (KSIM_CARD_VALUE(0, "intp_frames", 0) < sent + 5 + run)
            std::this_thread::yield();
        stops[run % 2]();
        path.join();
        int32_t before = KSIM_CARD_VALUE(0, "commands", 0);
        for (uint32_t nc = 1; nc <= 4; nc++)
            KORVA3_SET_NC(0, nc);
        EXPECT_EQ(KSIM_CARD_VALUE(0, "commands", 0) - before, 4);
        EXPECT_EQ(KSIM_CARD_VALUE(0, "nc", 0), 4);
    }
}

} // namespace
