/*
 * panel_path_end_test.cpp - which of the front panel's commands change where a path
 * ends. A 600-pulse line along X at 1 pulse a slice runs stepwise (600 slices, 1 ms
 * each, in virtual time); 100 ms in, a command is sent as the page sends it, and at a
 * later poll its opposite (the switch let go, the fault cleared). Only a limit switch held
 * against the motion and the emergency stop change the end; inputs, a home switch
 * outside homing, a limit switch behind the motion or on another axis, and every fault
 * leave it exact, as the card's next report then shows.
 */
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "../sim_fixture.h"

namespace {

constexpr int32_t kPulses = 600;
constexpr uint32_t kStartMs = 100, kHeldMs = 20;

class PanelPathEnd : public SimTest {
protected:
    static void SetUpTestSuite()
    {
        port_ = KSIM_PANEL_START(0);
        ASSERT_GT(port_, 0);
        char url[160];
        KSIM_PANEL_URL(url, sizeof url);
        const std::string text = url;
        token_ = text.substr(text.find("?token=") + 7);
    }
    static void TearDownTestSuite() { KSIM_PANEL_STOP(); }

    // Posts a command as the page does; the machine takes it at its next step.
    static int post(const std::string& query)
    {
        httplib::Client client("127.0.0.1", port_);
        auto res = client.Post(("/command?token=" + token_ + "&card=0&" + query).c_str(), "",
                               "text/plain");
        return res ? res->status : -1;
    }

    // Runs the line stepwise, a batch every 5 ms (a batch ends when the card holds the
    // library up, so polls come some 150 ms apart); `on` at the first poll from kStartMs
    // on, `off` at the first poll kHeldMs or more after it.
    // A controller that never gets ready holds the program inside the library: `off`
    // then comes from another thread, once the machine's clock is past its time.
    void run_line(const std::string& on, const std::string& off, bool holds_the_program)
    {
        ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, kPulses, 0, 1, 1), 1u);
        const uint32_t t0 = KSIM_CLOCK_MS();
        bool sent_on = false, sent_off = false;
        std::thread helper;
        std::atomic<int> helper_status{0};
        while (KORVA3_INTP_STOP() != 0) {
            KSIM_ADVANCE_MS(5);
            const uint32_t t = KSIM_CLOCK_MS() - t0;
            if (!sent_on && t >= kStartMs) {
                sent_on = true;
                ASSERT_EQ(post(on), 204);
                held_ms_ = t;
                if (holds_the_program)
                    helper = std::thread([&, due = KSIM_CLOCK_MS() + kHeldMs] {
                        // Bounded: the program's clock runs while it waits for the card.
                        using std::chrono::steady_clock;
                        const auto give_up = steady_clock::now() + std::chrono::seconds(30);
                        while (KSIM_CLOCK_VIEW_MS() < due && steady_clock::now() < give_up)
                            std::this_thread::yield();
                        helper_status = post(off);
                    });
            } else if (sent_on && !sent_off && !holds_the_program && t >= kStartMs + kHeldMs) {
                sent_off = true;
                ASSERT_EQ(post(off), 204);
                held_ms_ = t - held_ms_;
            }
        }
        if (helper.joinable())
            helper.join();
        if (holds_the_program) {
            EXPECT_EQ(helper_status.load(), 204);
        }
        KORVA3_WAIT_X(0);
    }

    // How long the command lasted (virtual ms), when the program sent both.
    uint32_t held_ms_ = 0;
    static int port_;
    static std::string token_;
};

int PanelPathEnd::port_ = 0;
std::string PanelPathEnd::token_;

TEST_F(PanelPathEnd, OnlyAHeldLimitSwitchAndTheEmergencyStopChangeTheEnd)
{
    struct Case {
        const char* on;
        const char* off;
        int32_t shortest, longest; // where X may end
        bool holds_the_program = false;
        bool loses_held_slices = false; // short by one pulse per slice run while held
    } cases[] = {
        {"do=input&bit=3&on=1", "do=input&bit=3&on=0", kPulses, kPulses},
        {"do=home&axis=1&on=1", "do=home&axis=1&on=0", kPulses, kPulses},
        {"do=limit_low&axis=1&on=1", "do=limit_low&axis=1&on=0", kPulses, kPulses},
        {"do=limit_high&axis=2&on=1", "do=limit_high&axis=2&on=0", kPulses, kPulses},
        {"do=fault&kind=1", "do=fault&kind=0", kPulses, kPulses},
        {"do=fault&kind=2&n=5", "do=fault&kind=0", kPulses, kPulses},
        {"do=fault&kind=3&n=3", "do=fault&kind=0", kPulses, kPulses},
        {"do=fault&kind=4", "do=fault&kind=0", kPulses, kPulses, true},
        // Held against the motion: each slice run while held is lost (1 pulse a slice).
        {"do=limit_high&axis=1&on=1", "do=limit_high&axis=1&on=0", 0, kPulses - 1, false, true},
        // The queue emptied and the path ended: far short.
        {"do=estop", "do=input&bit=0&on=0", 0, kPulses - 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.on) + " then " + c.off);
        SetUp();
        KSIM_SET_SLICE_PERIOD_US(0, 1000); // a card that runs a slice a millisecond
        KSIM_SET_STATUS_PERIOD_MS(0, 20);
        register_card();
        KORVA3_SET_VAR(0, 10, 10, 1, 2040, 0);
        run_line(c.on, c.off, c.holds_the_program);
        const int32_t x = KSIM_POSITION(0, 1);
        EXPECT_GE(x, c.shortest);
        EXPECT_LE(x, c.longest);
        if (c.loses_held_slices) {
            EXPECT_NEAR(x, kPulses - static_cast<int32_t>(held_ms_), 1);
        }
        // The reports that piled up unread during the path are drained; the next ones say
        // where the card stands.
        KORVA3_GET_CARD(0);
        KSIM_ADVANCE_MS(60);
        KORVA3_GET_CARD(0);
        EXPECT_EQ(KORVA3_GET_XC(0), x);
    }
}

} // namespace
