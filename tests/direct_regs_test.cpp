/*
 * direct_regs_test.cpp - digital I/O, the mailbox status, the axis waits and stop
 * queries, system reset and emergency stop.
 */
#include "sim_fixture.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

class Direct : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        register_card();
    }
    void script(std::vector<uint8_t> values)
    {
        KSIM_SCRIPT_STATUS(0, values.data(), (uint32_t)values.size());
    }
    size_t status_reads()
    {
        size_t n = 0;
        for (const PortAccess &r : take_reads())
            n += r.port == io + 196;
        return n;
    }
};

TEST_F(Direct, DigitalIoAndMailboxStatus)
{
    KSIM_SET_INPUTS(0, 0xA5);
    EXPECT_EQ(KORVA3_DI(0), 0xA5u);
    KORVA3_DO(0, 0xFF);
    EXPECT_EQ(KSIM_OUTPUTS(0), 0x7Fu); // the reset line is never the application's
    EXPECT_EQ(lib("do_shadow"), 0x7Fu);
    KORVA3_DO(0, 0x105);
    EXPECT_EQ(KSIM_OUTPUTS(0), 0x05u);
    KSIM_FORCE_STATUS(0, 0x71, 0x51);
    EXPECT_EQ(KORVA3_MSC(0), 0x53u);
    EXPECT_EQ(KSIM_RESETS(0), 0u);
}

TEST_F(Direct, WaitReturnsAfterBusyClearAndTheMotionBitClearTwiceFiveMsApart)
{
    // busy+Z, Z (busy gone), Z, clear | 5 ms | Z again, clear
    script({0x41, 0x40, 0x40, 0x00, 0x40, 0x00});
    take_reads();
    uint32_t before = KSIM_CLOCK_MS();
    KORVA3_WAIT_Z(0);
    EXPECT_GE(KSIM_CLOCK_MS() - before, 15u);
    EXPECT_EQ(status_reads(), 6u);
}

TEST_F(Direct, WaitWatchesOnlyItsOwnAxis)
{
    script({0x00, 0x30, 0x10}); // X and Y moving around Z
    KORVA3_WAIT_Z(0);
    EXPECT_EQ(status_reads(), 3u); // busy clear, Z clear, Z clear
}

TEST_F(Direct, StopQueries)
{
    struct {
        uint32_t (KORVA3_CALL *query)(uint32_t);
        std::vector<uint8_t> status;
        uint32_t expected;
        size_t reads;
    } cases[] = {
        {KORVA3_IS_Y_STOP, {0x01}, 0, 1},       // busy: not stopped, whatever the Y bit
        {KORVA3_IS_Y_STOP, {0x00, 0x20}, 0, 2},
        {KORVA3_IS_Y_STOP, {0x00, 0x50}, 1, 2}, // X and Z moving do not count
        {KORVA3_IS_X_STOP, {0x00, 0x10}, 0, 2},
        {KORVA3_IS_X_STOP, {0x20, 0x02}, 1, 2},
        {KORVA3_IS_Z_STOP, {0x00, 0x40}, 0, 2},
        {KORVA3_IS_Z_STOP, {0x00, 0x00}, 1, 2},
    };
    for (const auto &c : cases) {
        script(c.status);
        take_reads();
        uint32_t before = KSIM_CLOCK_MS();
        EXPECT_EQ(c.query(0), c.expected);
        EXPECT_GE(KSIM_CLOCK_MS() - before, 10u);
        EXPECT_EQ(status_reads(), c.reads);
    }
}

TEST_F(Direct, NeitherIoNorWaitsDisturbAStepwiseRequest)
{
    ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, 100, 0, 10, 0), 1u);
    KORVA3_DI(0);
    KORVA3_DO(0, 1);
    KORVA3_MSC(0);
    KORVA3_WAIT_X(0);
    KORVA3_IS_Y_STOP(0);
    KORVA3_GET_LIMIT(0);
    KORVA3_END();
    EXPECT_EQ(lib("step_mode"), 2u);
    EXPECT_EQ(lib("intp_enabled"), 1u);
}

std::vector<PortAccess> reset_writes(uint32_t io, uint8_t high, uint8_t low)
{
    std::vector<PortAccess> w{{uint16_t(io + 196), 0, 8}};
    for (int i = 0; i < 15; i++)
        w.push_back({uint16_t(io + 192), 0, 8});
    w.push_back({uint16_t(io + 200), high, 8});
    w.push_back({uint16_t(io + 200), low, 8});
    for (int i = 0; i < 30; i++)
        w.push_back({uint16_t(io + 192), 0, 8});
    return w;
}

TEST_F(Direct, EmergencyStopPulsesTheResetLineAndKeepsTheOutputs)
{
    for (auto stop : {KORVA3_EMG_STOP, KORVA3_STOP_ALL}) {
        KORVA3_DO(0, 0x05);
        ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, 100, 0, 10, 0), 1u);
        take_writes();
        uint32_t resets = KSIM_RESETS(0);
        uint32_t before = KSIM_CLOCK_MS();
        stop(0);
        EXPECT_GE(KSIM_CLOCK_MS() - before, 60u);
        EXPECT_EQ(take_writes(), reset_writes(io, 0x85, 0x05));
        EXPECT_EQ(KSIM_RESETS(0), resets + 1); // held high for 50 ms
        EXPECT_EQ(KSIM_OUTPUTS(0), 0x05u);
        EXPECT_EQ(lib("do_shadow"), 0x05u);
        EXPECT_EQ(lib("step_mode"), 0u);
        EXPECT_EQ(lib("intp_enabled"), 0u);
        EXPECT_EQ(lib("seq"), 3u); // no command
        EXPECT_TRUE(take_frames().empty());
        EXPECT_EQ(lib("link_ok"), 1u);
    }
}

TEST_F(Direct, SystemResetClearsTheOutputsThenSendsFiftyAndFortyEight)
{
    KORVA3_DO(0, 0x05);
    ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, 100, 0, 10, 0), 1u);
    take_writes();
    KORVA3_RESET_SYSTEM(0);
    auto writes = take_writes();
    auto expected = reset_writes(io, 0x80, 0x00);
    ASSERT_EQ(writes.size(), expected.size() + 2 * 26);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), writes.begin()));
    EXPECT_EQ(take_frames(), (std::vector<Frame>{make_frame(50, {}, 4), make_frame(48, {}, 5)}));
    EXPECT_EQ(KSIM_CARD_VALUE(0, "system_resets", 0), 1);
    EXPECT_EQ(KSIM_OUTPUTS(0), 0u);
    EXPECT_EQ(lib("step_mode"), 0u);
    EXPECT_EQ(lib("intp_enabled"), 0u);
    EXPECT_EQ(KSIM_RESETS(0), 1u);
}

TEST_F(Direct, StopAllAndEmgStopAreOneFunction)
{
#if defined(_WIN32)
    HMODULE lib_handle = GetModuleHandleA("korva32sim.dll");
    ASSERT_NE(lib_handle, nullptr);
    EXPECT_EQ((void *)GetProcAddress(lib_handle, "KORVA3_STOP_ALL"),
              (void *)GetProcAddress(lib_handle, "KORVA3_EMG_STOP"));
#else
    void *a = dlsym(RTLD_DEFAULT, "KORVA3_STOP_ALL");
    void *b = dlsym(RTLD_DEFAULT, "KORVA3_EMG_STOP");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
#endif
}

TEST(DirectNoLink, WaitsAndQueriesOnACardWithoutLinkReturnAtOnce)
{
    bind_card_without_link();
    KSIM_FORCE_STATUS(0, 0x71, 0x71); // busy and moving for ever
    take_reads();
    uint32_t before = KSIM_CLOCK_MS();
    KORVA3_WAIT_X(0);
    KORVA3_WAIT_Y(0);
    KORVA3_WAIT_Z(0);
    EXPECT_EQ(KORVA3_IS_X_STOP(0), 0u);
    EXPECT_EQ(KORVA3_IS_Z_STOP(0), 0u);
    EXPECT_EQ(KSIM_CLOCK_MS(), before);
    EXPECT_TRUE(take_reads().empty());
    // The functions that do not look at link_ok still reach the card.
    EXPECT_EQ(KORVA3_MSC(0), 0x73u);
    take_frames();
    KORVA3_SET_NC(0, 1);
    EXPECT_EQ(take_frames().size(), 1u);
}

} // namespace
