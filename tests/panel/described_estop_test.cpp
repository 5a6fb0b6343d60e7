/*
 * described_estop_test.cpp - the panel's emergency stop on a program that knows nothing
 * of the simulator: the machine is the one its description (estop_machine.toml, named
 * by KORVA32_MACHINE) asked for, with the panel; the program registers card 0 and runs
 * a long blocking line, and the emergency stop is pressed as the page presses it. The
 * line ends, the card stands, and the described machine is still there: the program
 * registers both cards again.
 *
 * The program makes no KSIM_ call that touches the machine (KSIM_PANEL_URL only tells
 * the panel's address, which a person would read on standard error).
 */
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

#include "korva3.h"
#include "korva3_sim.h"

namespace {

struct Panel {
    int port = 0;
    std::string token;
};

Panel described_panel()
{
    char url[160] = "";
    KSIM_PANEL_URL(url, sizeof url);
    const std::string text = url;
    Panel p;
    const auto colon = text.rfind(':'), at = text.find("/?token=");
    if (colon != std::string::npos && at != std::string::npos) {
        p.port = std::atoi(text.c_str() + colon + 1);
        p.token = text.substr(at + 8);
    }
    return p;
}

// Follows the page's event stream until card 0's X has left 0: the line runs.
bool wait_until_moving(const Panel& panel)
{
    httplib::Client client("127.0.0.1", panel.port);
    client.set_read_timeout(std::chrono::seconds(30));
    std::string pending;
    bool moving = false;
    client.Get(("/events?token=" + panel.token).c_str(), [&](const char* data, std::size_t n) {
        pending.append(data, n);
        for (std::size_t end; (end = pending.find("\n\n")) != std::string::npos;) {
            const std::string event = pending.substr(0, end);
            pending.erase(0, end + 2);
            if (event.rfind("data: ", 0) != 0)
                continue;
            const auto j = nlohmann::json::parse(event.substr(6), nullptr, false);
            if (!j.is_discarded() && j["state"]["cards"].size() == 2 &&
                j["state"]["cards"][0]["pos"][0].get<long>() > 0)
                moving = true;
        }
        return !moving;
    });
    return moving;
}

TEST(DescribedMachinePanel, EmergencyStopStopsTheCardAndKeepsTheMachine)
{
    const Panel panel = described_panel();
    ASSERT_GT(panel.port, 0) << "no panel: is KORVA32_MACHINE set to estop_machine.toml?";
    ASSERT_EQ(KORVA3_INITIAL(), 0u);
    ASSERT_EQ(KORVA3_REGISTRATION(0, 5), 1u);

    // 200000 pulses at 10 a slice: 20 s of slices, unless stopped.
    auto line = std::async(std::launch::async, [] { KORVA3_INTP_XYZ(0, 200000, 0, 0, 10); });
    ASSERT_TRUE(wait_until_moving(panel));
    httplib::Client client("127.0.0.1", panel.port);
    const auto res = client.Post(("/command?token=" + panel.token + "&card=0&do=estop").c_str(),
                                 "", "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 204);
    if (line.wait_for(std::chrono::seconds(15)) != std::future_status::ready) {
        ADD_FAILURE() << "the line runs on after the emergency stop";
        std::_Exit(1); // the line's thread cannot be joined
    }

    // The card stands where it stopped, well short of the line's end.
    KORVA3_GET_CARD(0);
    const int32_t x = KORVA3_GET_XC(0);
    EXPECT_LT(x, 200000);
    EXPECT_EQ(KORVA3_IS_X_STOP(0), 1u);
    // The described machine is still there: both cards register.
    EXPECT_EQ(KORVA3_REGISTRATION(0, 5), 1u);
    EXPECT_EQ(KORVA3_REGISTRATION(1, 6), 1u);
    KORVA3_END();
}

} // namespace
