/*
 * panel_test.cpp - the front panel's commands reach the machine: switches held by hand,
 * inputs, faults, the emergency stop; bad commands are refused; the pace holds virtual
 * time to the wall clock. (What the page shows is checked in a browser:
 * panel_browser_test.py.)
 */
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "../sim_fixture.h"

namespace {

class PanelTest : public SimTest {
protected:
    static void SetUpTestSuite()
    {
        port_ = KSIM_PANEL_START(0);
        ASSERT_GT(port_, 0);
        EXPECT_EQ(KSIM_PANEL_START(0), port_); // started twice: the same panel
        char url[160];
        ASSERT_GT(KSIM_PANEL_URL(url, sizeof url), 0u);
        const std::string text = url;
        const auto at = text.find("?token=");
        ASSERT_EQ(text.rfind("http://127.0.0.1:" + std::to_string(port_) + "/?token=", 0), 0u);
        token_ = text.substr(at + 7);
    }
    static void TearDownTestSuite()
    {
        KSIM_PANEL_STOP();
        char url[8] = "x";
        EXPECT_EQ(KSIM_PANEL_URL(url, sizeof url), 0u);
        EXPECT_STREQ(url, "");
    }

    // Sends a command as the page does; the machine applies it at its next step.
    static int command(const std::string& query)
    {
        httplib::Client client("127.0.0.1", port_);
        auto res = client.Post(("/command?token=" + token_ + "&" + query).c_str(), "", "text/plain");
        KSIM_ADVANCE_MS(1);
        return res ? res->status : -1;
    }

    // Lets ms pass as a program that polls the card's status every 20 ms.
    static void poll_for(uint32_t ms)
    {
        for (uint32_t t = 0; t < ms; t += 20) {
            KSIM_ADVANCE_MS(20);
            KORVA3_GET_CARD(0);
        }
    }

    static uint32_t limit_byte()
    {
        poll_for(60);
        return KORVA3_GET_LIMIT(0);
    }

    static int port_;
    static std::string token_;
};

int PanelTest::port_ = 0;
std::string PanelTest::token_;

// A limit switch held by hand stops motion towards it, not away from it, and shows in
// the limit byte until let go.
TEST_F(PanelTest, HeldLimitSwitchStopsMotionTowardsIt)
{
    struct Case {
        const char* what;
        uint32_t axis;
        int32_t pulses;
        int32_t end;
        uint32_t limit_bit;
    } cases[] = {
        {"limit_high", 1, 2000, 0, 0x02},
        {"limit_high", 1, -2000, -2000, 0x02},
        {"limit_low", 2, -2000, 0, 0x04},
        {"limit_low", 3, 2000, 2000, 0x10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " axis " + std::to_string(c.axis));
        SetUp();
        KSIM_SET_STATUS_PERIOD_MS(0, 20); // status reports carry the limit byte
        register_card();
        const std::string hold = std::string("card=0&do=") + c.what +
                                 "&axis=" + std::to_string(c.axis);
        ASSERT_EQ(command(hold + "&on=1"), 204);
        KORVA3_PULSE_MOVE(0, c.axis, c.pulses, 20);
        poll_for(500);
        EXPECT_EQ(KSIM_POSITION(0, c.axis), c.end);
        EXPECT_EQ(limit_byte(), c.limit_bit);
        ASSERT_EQ(command(hold + "&on=0"), 204);
        EXPECT_EQ(limit_byte(), 0u);
    }
}

// A home switch pressed by hand ends a homing run where the axis stands: its new origin.
TEST_F(PanelTest, HeldHomeSwitchEndsHoming)
{
    register_card();
    KSIM_SET_HOME(0, 1, -1000000);
    KORVA3_PULSE_MOVE(0, 1, 700, 50);
    KSIM_ADVANCE_MS(200);
    KORVA3_BACK_HOME(0, 1, 0, 0);
    KSIM_ADVANCE_MS(20);
    EXPECT_EQ(KORVA3_IS_X_STOP(0), 0u); // still on its way to the far switch
    ASSERT_EQ(command("card=0&do=home&axis=1&on=1"), 204);
    KSIM_ADVANCE_MS(5);
    EXPECT_EQ(KORVA3_IS_X_STOP(0), 1u);
    EXPECT_EQ(KSIM_POSITION(0, 1), 0);
}

TEST_F(PanelTest, InputsAndFaults)
{
    register_card();
    ASSERT_EQ(command("card=0&do=input&bit=3&on=1"), 204);
    ASSERT_EQ(command("card=0&do=input&bit=6&on=1"), 204);
    ASSERT_EQ(command("card=0&do=input&bit=3&on=0"), 204);
    EXPECT_EQ(KORVA3_DI(0), 0x40u);
    ASSERT_EQ(command("card=0&do=fault&kind=1"), 204); // silent: no link-test echo
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 0u);
    take_messages();
    ASSERT_EQ(command("card=0&do=fault&kind=0"), 204);
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
}

// The emergency stop resets the controller as its reset line would: through the
// library's emergency stop for a registered card, directly for any other.
TEST_F(PanelTest, EmergencyStopResetsTheController)
{
    ASSERT_EQ(add_card(0, 4, 1), 1);
    register_card();
    for (int index : {0, 1}) {
        SCOPED_TRACE(index == 0 ? "registered" : "not registered");
        if (index == 0) {
            KORVA3_CONSTANT_SPEED(0, 1, 0, 5);
            KSIM_ADVANCE_MS(10);
            EXPECT_EQ(KORVA3_IS_X_STOP(0), 0u);
        }
        ASSERT_EQ(command("card=" + std::to_string(index) + "&do=estop"), 204);
        EXPECT_EQ(KSIM_RESETS(index), 1u);
    }
    const int32_t stopped = KSIM_POSITION(0, 1);
    KSIM_ADVANCE_MS(100);
    EXPECT_EQ(KSIM_POSITION(0, 1), stopped);
    EXPECT_EQ(KSIM_OUTPUTS(0) & 0x80u, 0u); // the reset line is down again
}

// The emergency stop is latched: until it is released on the panel, what the program
// sends is taken and counted and moves nothing; the program's own stop is not latched.
TEST_F(PanelTest, EmergencyStopLatchesUntilReleased)
{
    register_card();
    ASSERT_EQ(command("card=0&do=estop"), 204);
    EXPECT_EQ(KSIM_PANEL_ESTOP(0), 1u);
    const int32_t frames = KSIM_CARD_VALUE(0, "commands", 0);
    KORVA3_INTP_XYZ(0, 500, 300, 0, 5); // blocking: returns, having moved nothing
    KORVA3_PULSE_MOVE(0, 3, 400, 20);
    KORVA3_CONSTANT_SPEED(0, 1, 0, 5);
    KSIM_ADVANCE_MS(300);
    EXPECT_GT(KSIM_CARD_VALUE(0, "commands", 0), frames + 100);
    for (uint32_t axis : {1u, 2u, 3u})
        EXPECT_EQ(KSIM_POSITION(0, axis), 0) << "axis " << axis;

    ASSERT_EQ(command("card=0&do=release"), 204);
    EXPECT_EQ(KSIM_PANEL_ESTOP(0), 0u);
    KORVA3_INTP_XYZ(0, 500, 300, 0, 5);
    KSIM_ADVANCE_MS(300);
    EXPECT_EQ(KSIM_POSITION(0, 1), 500);
    EXPECT_EQ(KSIM_POSITION(0, 2), 300);

    KORVA3_EMG_STOP(0); // the program's own: not latched
    EXPECT_EQ(KSIM_PANEL_ESTOP(0), 0u);
    KORVA3_PULSE_MOVE(0, 3, 400, 20);
    KSIM_ADVANCE_MS(300);
    EXPECT_EQ(KSIM_POSITION(0, 3), 400);
}

TEST_F(PanelTest, BadCommandsAreRefused)
{
    for (const char* query : {"card=0&do=launch", "card=64&do=estop", "card=0&do=input&bit=8&on=1",
                              "card=0&do=limit_low&axis=0&on=1", "card=0&do=fault&kind=5",
                              "card=-1&do=estop", "card=0&do=home&axis=1&on=2"})
        EXPECT_EQ(command(query), 400) << query;
    EXPECT_EQ(KSIM_RESETS(0), 0u);
}

// A card the machine does not have (it has one): 404 with the reason, nothing done.
TEST_F(PanelTest, CommandsForACardTheMachineDoesNotHaveAreRefused)
{
    for (const char* query : {"card=5&do=estop", "card=1&do=input&bit=0&on=1", "card=63&do=release"}) {
        httplib::Client client("127.0.0.1", port_);
        auto res = client.Post(("/command?token=" + token_ + "&" + query).c_str(), "", "text/plain");
        ASSERT_TRUE(res) << query;
        EXPECT_EQ(res->status, 404) << query;
        EXPECT_NE(res->body.find("no such card (the machine has 1 card)"), std::string::npos)
            << query << ": " << res->body;
    }
    EXPECT_EQ(KSIM_PANEL_ESTOP(5), 0u);
}

// Wall-clock behaviour is the feature here: generous bounds.
TEST_F(PanelTest, PaceHoldsVirtualTimeToTheWallClock)
{
    KSIM_SET_PACE(100);
    const auto start = std::chrono::steady_clock::now();
    KSIM_ADVANCE_MS(300);
    const auto took = std::chrono::steady_clock::now() - start;
    KSIM_SET_PACE(0);
    EXPECT_GE(took, std::chrono::milliseconds(250));
    EXPECT_LT(took, std::chrono::seconds(5));
}

// A machine on the wall clock already follows it: a pace set as well must not fight it
// (its time runs on while the program waits, so a pace of its own receded for ever).
TEST_F(PanelTest, PaceOnAWallClockMachineKeepsRealTime)
{
    register_card();
    for (std::uint32_t percent : {100u, 50u}) {
        KSIM_SET_CLOCK(KSIM_CLOCK_WALL, 1000);
        KSIM_SET_PACE(percent);
        const auto start = std::chrono::steady_clock::now();
        std::atomic<bool> done{false};
        std::thread waiter([&] {
            for (int i = 0; i < 200; i++) // port accesses, each paced
                KORVA3_SET_VAR(0, 10, 10, 10, 400, 0);
            done = true;
        });
        while (!done && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done) {
            ADD_FAILURE() << "paced " << percent << " %: 200 commands took over 5 s";
            std::fflush(stdout);
            std::_Exit(1); // the waiter is stuck in the pace
        }
        waiter.join();
        KSIM_SET_PACE(0);
        KSIM_SET_CLOCK(KSIM_CLOCK_VIRTUAL, 1000);
    }
}

} // namespace
