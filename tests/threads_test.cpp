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

namespace {

/* Two stoppers on one card, the second arriving while the first holds the reset line
 * high, and a third thread running a blocking path: the stops take turns, so the card
 * sees two whole reset pulses (each held 50 ms) and the reset line ends low with the
 * outputs as the stops leave them. Interleaved, the pulses would merge into one and the
 * first stop would let the line go while the second still counts its 50 ms. The machine
 * follows the wall clock here only so that a pulse lasts long enough (50 ms) for the
 * second stopper to come in during it. */
struct TwoStoppers {
    const char *name;
    void(KORVA3_CALL *first)(uint32_t);
    void(KORVA3_CALL *second)(uint32_t);
    uint32_t outputs_after; /* DIO_REG's outputs once both are done (0x2A before) */
};

std::ostream &operator<<(std::ostream &os, const TwoStoppers &c) { return os << c.name; }

const TwoStoppers TWO_STOPPERS[] = {
    {"EmergencyStops", KORVA3_EMG_STOP, KORVA3_EMG_STOP, 0x2A},
    {"EmergencyStopThenSystemReset", KORVA3_EMG_STOP, KORVA3_RESET_SYSTEM, 0x00},
    {"SystemResetThenEmergencyStop", KORVA3_RESET_SYSTEM, KORVA3_EMG_STOP, 0x00},
};

class StoppersAtOnce : public SimTest, public ::testing::WithParamInterface<TwoStoppers> {};

TEST_P(StoppersAtOnce, TakeTurnsAndEachPulsesTheResetLineWhole)
{
    const TwoStoppers &c = GetParam();
    register_card();
    KORVA3_DO(0, 0x2A);
    KSIM_SET_CLOCK(KSIM_CLOCK_WALL, 0);
    KSIM_SET_LOGGING(0); // the path's slices are not kept
    std::atomic<bool> path_done{false}, first_done{false};
    std::thread path([&] {
        KORVA3_INTP_LINE(0, 2000000000, 0, 100);
        path_done = true;
    });
    while (KSIM_CARD_VALUE(0, "intp_frames", 0) < 20 && !path_done)
        std::this_thread::yield();
    KSIM_SET_LOGGING(1); // what the stops write is
    take_writes();

    std::thread first([&] {
        c.first(0);
        first_done = true;
    });
    while (!(KSIM_OUTPUTS(0) & 0x80) && !first_done)
        std::this_thread::yield();
    std::thread second(c.second, 0);
    first.join();
    second.join();
    path.join();

    std::vector<uint32_t> dio;
    for (const PortAccess &w : take_writes())
        if (w.port == io + 200)
            dio.push_back(w.value);
    ASSERT_EQ(dio.size(), 4u);
    for (size_t i = 0; i < dio.size(); i++)
        EXPECT_EQ(dio[i] & 0x80, i % 2 == 0 ? 0x80u : 0u) << "DIO write " << i;
    EXPECT_EQ(dio.back(), c.outputs_after);
    EXPECT_EQ(KSIM_RESETS(0), 2u) << "each pulse held 50 ms";
    EXPECT_EQ(lib("intp_enabled"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Pairs, StoppersAtOnce, ::testing::ValuesIn(TWO_STOPPERS),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
