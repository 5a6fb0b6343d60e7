/*
 * controller_model_test.cpp - the virtual card in virtual time: moves that end so the
 * waits return, slice queues that hold the host up so stepwise batches form by
 * themselves, limit and home switches, unasked status reports, and injected faults.
 */
#include "sim_fixture.h"

#include <atomic>
#include <thread>

namespace {

/* A machine whose card runs on the default timing: 1 ms slices, a queue of 256,
 * a status report every 20 ms. */
class Timed : public ::testing::Test {
protected:
    void SetUp() override
    {
        KSIM_RESET();
        ASSERT_EQ(add_card(0, 1, 0), 0);
        KORVA3_INITIAL();
        ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
        KSIM_SET_LOGGING(0);
    }
    static int32_t pos(uint32_t axis) { return KSIM_POSITION(0, axis); }
};

TEST_F(Timed, APulseMoveTakesTimeAndTheWaitReturnsWhenItHasEnded)
{
    KORVA3_SET_VAR(0, 10, 5, 10, 100, 0); // accel 5 pulses/ms per ms, start 10 pulses/ms
    uint32_t start = KSIM_CLOCK_MS();
    KORVA3_PULSE_MOVE(0, 1, 5000, 100);
    EXPECT_EQ(KORVA3_IS_X_STOP(0), 0u);
    EXPECT_NE(KORVA3_MSC(0) & 0x10, 0u);
    KORVA3_WAIT_X(0);
    uint32_t took = KSIM_CLOCK_MS() - start;
    EXPECT_EQ(pos(1), 5000);
    EXPECT_GE(took, 50u);  // at most 100 pulses per ms
    EXPECT_LE(took, 100u); // ramps of 18 ms each way
    EXPECT_EQ(KORVA3_IS_X_STOP(0), 1u);
    EXPECT_EQ(pos(2), 0);
}

TEST_F(Timed, OtherAxesDoNotHoldUpAWait)
{
    KORVA3_CONSTANT_SPEED(0, 2, 0, 50); // Y runs for ever
    KORVA3_PULSE_MOVE(0, 1, -300, 50);
    KORVA3_WAIT_X(0);
    EXPECT_EQ(pos(1), -300);
    EXPECT_EQ(KORVA3_IS_Y_STOP(0), 0u);
    KORVA3_STOP(0, 2);
    KORVA3_WAIT_Y(0);
    EXPECT_GT(pos(2), 0);
}

TEST_F(Timed, DecStopRampsDownAndStopHaltsAtOnce)
{
    KORVA3_SET_VAR(0, 10, 2, 2, 100, 0);
    KORVA3_CONSTANT_SPEED(0, 1, 0, 100);
    KSIM_ADVANCE_MS(200); // at full speed by now
    int32_t at_stop = pos(1);
    KORVA3_DEC_STOP(0, 1);
    KORVA3_WAIT_X(0);
    int32_t braked = pos(1) - at_stop;
    EXPECT_GE(braked, 2000); // 100 pulses/ms falling by 2 per ms: about 2500
    EXPECT_LE(braked, 2700);

    KORVA3_CONSTANT_SPEED(0, 1, 1, 100);
    KSIM_ADVANCE_MS(200);
    at_stop = pos(1);
    KORVA3_STOP(0, 1);
    KSIM_ADVANCE_MS(50);
    EXPECT_EQ(pos(1), at_stop);
    EXPECT_EQ(KORVA3_IS_X_STOP(0), 1u);
}

TEST_F(Timed, LimitSwitchesStopTheAxisAndShowInTheLimitByte)
{
    KSIM_SET_LIMITS(0, 1, -100, 500);
    KORVA3_PULSE_MOVE(0, 1, 1000, 50);
    KORVA3_WAIT_X(0);
    EXPECT_EQ(pos(1), 500);
    KSIM_ADVANCE_MS(40); // a status report or two
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_LIMIT(0), 0x02u); // X at its high switch
    EXPECT_EQ(KORVA3_GET_XC(0), 500);
    // Interpolation stops at the switch too, and moving away clears the bit.
    KORVA3_INTP_LINE(0, 100, 100, 20);
    KORVA3_WAIT_Y(0);
    EXPECT_EQ(pos(1), 500);
    EXPECT_EQ(pos(2), 100);
    KORVA3_PULSE_MOVE(0, 1, -50, 50);
    KORVA3_WAIT_X(0);
    KSIM_ADVANCE_MS(40);
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_LIMIT(0), 0u);
}

TEST_F(Timed, HomingRunsToTheHomeSwitchWhichBecomesTheOrigin)
{
    KSIM_SET_HOME(0, 3, -750);
    KORVA3_BACK_HOME(0, 3, 0, 0);
    EXPECT_EQ(KORVA3_IS_Z_STOP(0), 0u);
    KORVA3_WAIT_Z(0);
    EXPECT_EQ(pos(3), 0);
    KORVA3_PULSE_MOVE(0, 3, 750, 100); // back where it started on the machine
    KORVA3_WAIT_Z(0);
    EXPECT_EQ(pos(3), 750);
    KORVA3_BACK_HOME01(0, 3, 0);
    KORVA3_WAIT_Z(0);
    EXPECT_EQ(pos(3), 0);
}

TEST_F(Timed, ZeroPresetDirectionAndServoAreHonoured)
{
    KORVA3_PRESET_POSITION(0, 1, 1000);
    EXPECT_EQ(pos(1), 1000);
    KORVA3_SET_DEFDIR(0, 1, 0, 0); // X runs the other way
    KORVA3_PULSE_MOVE(0, 1, 100, 50);
    KORVA3_WAIT_X(0);
    EXPECT_EQ(pos(1), 900);
    KORVA3_SET_ZERO(0, 1);
    EXPECT_EQ(pos(1), 0);
    KORVA3_SET_CONTROL_MODE(0, 0, 1, 0); // Y a servo axis, servo off
    KORVA3_PULSE_MOVE(0, 2, 100, 50);
    KSIM_ADVANCE_MS(100);
    EXPECT_EQ(pos(2), 0);
    KORVA3_SET_SERVO_ON(0, 0, 1, 0);
    KORVA3_PULSE_MOVE(0, 2, 100, 50);
    KORVA3_WAIT_Y(0);
    EXPECT_EQ(pos(2), 100);
}

TEST_F(Timed, SlicesRunOnePerPeriodAndAFullQueueHoldsTheHostUp)
{
    // 3000 pulses along X at 10 per slice: 300-odd slices, more than the queue holds.
    uint32_t start = KSIM_CLOCK_MS();
    ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, 3000, 0, 10, 1), 1u);
    std::vector<int32_t> batch_sizes;
    int32_t frames = 0;
    for (uint32_t more = 1; more;) {
        more = KORVA3_INTP_STOP();
        int32_t now = KSIM_CARD_VALUE(0, "intp_frames", 0);
        batch_sizes.push_back(now - frames);
        frames = now;
    }
    ASSERT_GE(batch_sizes.size(), 2u);
    // The queue (256) and the slice running fill up first, plus the slices the card ran
    // while those frames went out (78 microseconds each).
    EXPECT_GE(batch_sizes[0], 257);
    EXPECT_LE(batch_sizes[0], 290);
    EXPECT_EQ(frames, 300);
    KORVA3_WAIT_X(0);
    EXPECT_EQ(pos(1), 3000);
    EXPECT_GE(KSIM_CLOCK_MS() - start, 300u); // one slice per millisecond
    EXPECT_LE(KSIM_CLOCK_MS() - start, 340u);
}

TEST_F(Timed, ABlockingPathIsPacedByTheCardAndEndsExactly)
{
    KSIM_SET_LOGGING(1);
    uint32_t start = KSIM_CLOCK_MS();
    KORVA3_INTP_CIRCLE(0, 20000, 0, 1, 200); // about 630 slices
    EXPECT_NE(KORVA3_MSC(0) & 0x01, 0u);   // still busy with queued slices
    KORVA3_WAIT_X(0);
    KORVA3_WAIT_Y(0);
    EXPECT_GE(KSIM_CLOCK_MS() - start, 600u);
    EXPECT_EQ(pos(1), 0);
    EXPECT_EQ(pos(2), 0);
    int32_t records[4 * 1024];
    uint32_t n = KSIM_TAKE_MOTION(0, records, 1024);
    ASSERT_GT(n, 600u);
    EXPECT_EQ(records[4 * (n - 1) + 1], 0);
    int32_t min_y = 0;
    for (uint32_t i = 0; i < n; i++)
        min_y = std::min(min_y, records[4 * i + 2]);
    EXPECT_LE(min_y, -19990); // counter-clockwise around (20000, 0): down first
}

TEST_F(Timed, StatusReportsComeUnaskedWithCommandedAndFollowingPositions)
{
    KORVA3_PULSE_MOVE(0, 2, 400, 40);
    KORVA3_WAIT_Y(0);
    KSIM_ADVANCE_MS(20);
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_YC(0), 400);
    KSIM_ADVANCE_MS(20);
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_YP(0), 400); // the feedback has caught up
    KSIM_SET_INPUTS(0, 0x5A);
    KSIM_ADVANCE_MS(20);
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_P1(0), 0x5Au);
    EXPECT_EQ(KORVA3_GET_SYS(0), 0u);
    KORVA3_CONSTANT_SPEED(0, 3, 0, 10);
    KSIM_ADVANCE_MS(20);
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_SYS(0), 0x40u); // Z moving
}

TEST_F(Timed, TheResetLineStopsEverythingButKeepsPositions)
{
    KORVA3_CONSTANT_SPEED(0, 1, 0, 100);
    ASSERT_EQ(KORVA3_INTP_LINE02(0, 3, 0, 5000, 10, 1), 1u); // Z
    KORVA3_INTP_STOP(); // a full queue
    KSIM_ADVANCE_MS(10);
    KORVA3_EMG_STOP(0);
    int32_t x = pos(1), z = pos(3);
    EXPECT_GT(x, 0);
    EXPECT_GT(z, 0);
    KSIM_ADVANCE_MS(100);
    EXPECT_EQ(pos(1), x);
    EXPECT_EQ(pos(3), z);
    EXPECT_EQ(KORVA3_MSC(0) & 0x71, 0u);
}

TEST_F(Timed, FaultSilentFailsTheLinkTest)
{
    KSIM_FAULT(0, KSIM_FAULT_SILENT, 0);
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
    KSIM_FAULT(0, KSIM_FAULT_NONE, 0);
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
}

TEST_F(Timed, FaultsInStatusReportsAreDroppedByTheReader)
{
    KORVA3_PRESET_POSITION(0, 1, 11);
    KSIM_ADVANCE_MS(20);
    KORVA3_GET_CARD(0);
    ASSERT_EQ(KORVA3_GET_XC(0), 11);

    KORVA3_PRESET_POSITION(0, 1, 22);
    KSIM_FAULT(0, KSIM_FAULT_CORRUPT_STATUS, 2);
    KSIM_ADVANCE_MS(40); // two reports, both corrupt
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_XC(0), 11);
    KSIM_ADVANCE_MS(20);
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_XC(0), 22);

    KORVA3_PRESET_POSITION(0, 1, 33);
    KSIM_FAULT(0, KSIM_FAULT_STALL_STATUS, 12);
    KSIM_ADVANCE_MS(20);
    KORVA3_GET_CARD(0); // the partial report is dropped; the poll returns
    EXPECT_EQ(KORVA3_GET_XC(0), 22);
    KSIM_ADVANCE_MS(20);
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_XC(0), 33);
}

TEST_F(Timed, ACardThatIsNeverReadyAgainHoldsACommandUntilItRecovers)
{
    KSIM_FAULT(0, KSIM_FAULT_NEVER_READY, 0);
    EXPECT_EQ(KORVA3_MSC(0) & 0x02, 0u);
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        KORVA3_SET_NC(0, 7);
        sent = true;
    });
    // Wait (on the card) until the sender is stuck polling the status register.
    int32_t reads = KSIM_CARD_VALUE(0, "status_reads", 0);
    while (KSIM_CARD_VALUE(0, "status_reads", 0) < reads + 1000)
        std::this_thread::yield();
    EXPECT_FALSE(sent);
    KSIM_FAULT(0, KSIM_FAULT_NONE, 0);
    sender.join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(KSIM_CARD_VALUE(0, "nc", 0), 7);
}

} // namespace
