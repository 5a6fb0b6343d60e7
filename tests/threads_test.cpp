/*
 * threads_test.cpp - an emergency stop from a second thread ends a blocking path
 * running in the first, after the slice in progress, and the card stands: no slice of
 * the path reaches it after the reset.
 */
#include "sim_fixture.h"

#include <atomic>
#include <functional>
#include <thread>

namespace {

void emergency_stop_ends(std::function<void()> path, void (KORVA3_CALL *stop)(uint32_t))
{
    std::atomic<bool> done{false};
    std::thread runner([&] {
        path();
        done = true;
    });
    // Wait (on the card, not the clock) until the path is well under way.
    while (KSIM_CARD_VALUE(0, "intp_frames", 0) < 20 && !done)
        std::this_thread::yield();
    stop(0);
    runner.join();
    EXPECT_EQ(lib("intp_enabled"), 0u);
    EXPECT_EQ(lib("phase"), PHASE_FINISHED);
    EXPECT_EQ(KORVA3_IS_X_STOP(0) & KORVA3_IS_Y_STOP(0) & KORVA3_IS_Z_STOP(0), 1u);
}

TEST_F(SimTest, EmergencyStopFromAnotherThreadEndsABlockingLine)
{
    register_card();
    KSIM_SET_LOGGING(0);
    // 2,000,000,000 pulses at 100 per slice: 20,000,000 slices if nothing stops it, so
    // the stop lands in the path however the threads are scheduled.
    emergency_stop_ends([] { KORVA3_INTP_LINE(0, 2000000000, 0, 100); }, KORVA3_EMG_STOP);
    int32_t sent = KSIM_CARD_VALUE(0, "intp_frames", 0);
    EXPECT_GE(sent, 20);
    EXPECT_LT(sent, 20000000);
    EXPECT_LT(KSIM_AXIS_PULSES(0, 1), 2000000000);
    EXPECT_EQ(KSIM_RESETS(0), 1u);
}

TEST_F(SimTest, StopAllFromAnotherThreadEndsABlockingCircle)
{
    register_card();
    KSIM_SET_LOGGING(0);
    emergency_stop_ends([] { KORVA3_INTP_CIRCLE(0, 30000000, 0, 1, 100); }, KORVA3_STOP_ALL);
    EXPECT_LT(KSIM_CARD_VALUE(0, "intp_frames", 0), 1885000);
}

} // namespace

namespace {

/* A system reset from a second thread sends its own commands while the path sends its
 * slices: both advance the card's sequence counter (under TSan: no race on it). Its
 * commands may be torn by the path's last slice, so they are not counted here. */
TEST_F(SimTest, ResetSystemFromAnotherThreadEndsABlockingLine)
{
    register_card();
    KSIM_SET_LOGGING(0);
    emergency_stop_ends([] { KORVA3_INTP_LINE(0, 2000000000, 0, 100); }, KORVA3_RESET_SYSTEM);
    EXPECT_EQ(KSIM_RESETS(0), 1u);
}

} // namespace
