/*
 * panel_operator_test.cpp - the operator's jog and homing requests: the page records one
 * per card for the program, which takes it (KSIM_PANEL_TAKE_REQUEST) and says when it is
 * done (KSIM_PANEL_REPORT); refused while nobody offers them, while the emergency stop is
 * pressed, while another waits or runs, and when malformed. Nothing here moves the card:
 * the program does (korva3 panel; the page: panel_jog_browser_test.py).
 */
#include <httplib.h>

#include "../sim_fixture.h"

namespace {

class OperatorTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        port_ = KSIM_PANEL_START(0);
        ASSERT_GT(port_, 0);
        char url[160];
        KSIM_PANEL_URL(url, sizeof url);
        token_ = std::string(url).substr(std::string(url).find("?token=") + 7);
    }
    void TearDown() override
    {
        KSIM_PANEL_OFFER_JOG(0);
        KSIM_PANEL_STOP();
        SimTest::TearDown();
    }

    // POSTs a command as the page does: its status, and the reason of a refusal.
    int command(const std::string& query, std::string* why = nullptr)
    {
        httplib::Client client("127.0.0.1", port_);
        auto res = client.Post(("/command?token=" + token_ + "&card=0&" + query).c_str(), "",
                               "text/plain");
        KSIM_ADVANCE_MS(1);
        if (res && why)
            *why = res->body;
        return res ? res->status : -1;
    }

    int port_ = 0;
    std::string token_;
};

struct Taken {
    uint32_t got;
    int32_t index;
    uint32_t kind, axis;
    int32_t pulses;
};

Taken take()
{
    Taken t{0, -1, 0, 0, 0};
    t.got = KSIM_PANEL_TAKE_REQUEST(&t.index, &t.kind, &t.axis, &t.pulses);
    return t;
}

// What the page may send, each on its own; the program takes exactly what was pressed.
TEST_F(OperatorTest, RequestsAreCheckedAndTakenAsPressed)
{
    struct Case {
        const char* query;
        int status;
        uint32_t kind, axis;
        int32_t pulses;
    } cases[] = {
        {"do=jog&axis=1&pulses=1000", 204, KSIM_PANEL_JOG, 1, 1000},
        {"do=jog&axis=3&pulses=-10", 204, KSIM_PANEL_JOG, 3, -10},
        {"do=jog&axis=2&pulses=-10000000", 204, KSIM_PANEL_JOG, 2, -10000000},
        {"do=homing&axis=2", 204, KSIM_PANEL_HOME, 2, 0},
        {"do=homing&axis=0", 204, KSIM_PANEL_HOME, 0, 0}, // every axis
        {"do=jog&axis=1&pulses=0", 400, 0, 0, 0},
        {"do=jog&axis=0&pulses=5", 400, 0, 0, 0},
        {"do=jog&axis=4&pulses=5", 400, 0, 0, 0},
        {"do=jog&axis=1&pulses=10000001", 400, 0, 0, 0},
        {"do=jog&axis=1&pulses=1e3", 400, 0, 0, 0},
        {"do=jog&axis=1&pulses=--5", 400, 0, 0, 0},
        {"do=jog&axis=1", 400, 0, 0, 0},
        {"do=homing&axis=4", 400, 0, 0, 0},
    };
    KSIM_PANEL_OFFER_JOG(1);
    for (const Case& c : cases) {
        EXPECT_EQ(command(c.query), c.status) << c.query;
        const Taken t = take();
        EXPECT_EQ(t.got, c.status == 204 ? 1u : 0u) << c.query;
        if (t.got) {
            EXPECT_EQ(t.index, 0);
            EXPECT_EQ(t.kind, c.kind) << c.query;
            EXPECT_EQ(t.axis, c.axis) << c.query;
            EXPECT_EQ(t.pulses, c.pulses) << c.query;
            KSIM_PANEL_REPORT(0, 0, "done");
        }
    }
}

// One at a time, and never while nobody takes them or the emergency stop is pressed.
TEST_F(OperatorTest, RefusedUntilTheCardIsFree)
{
    register_card();
    const char* jog = "do=jog&axis=1&pulses=100";
    std::string why;
    EXPECT_EQ(command(jog, &why), 400) << "not offered";
    EXPECT_NE(why.find("korva3 panel"), std::string::npos) << why;

    KSIM_PANEL_OFFER_JOG(1);
    EXPECT_EQ(command(jog), 204);
    EXPECT_EQ(command("do=homing&axis=1", &why), 400) << "one waits";
    EXPECT_NE(why.find("another jog or homing runs"), std::string::npos) << why;
    EXPECT_EQ(take().got, 1u);
    EXPECT_EQ(command(jog), 400) << "taken: runs until the program reports it done";
    KSIM_PANEL_REPORT(0, 1, "jog X +100 pulses: running");
    EXPECT_EQ(command(jog), 400) << "still running";
    KSIM_PANEL_REPORT(0, 0, "jog X +100 pulses: done");
    EXPECT_EQ(command(jog), 204) << "done: the next one";
    EXPECT_EQ(take().got, 1u);
    KSIM_PANEL_REPORT(0, 0, "done");

    ASSERT_EQ(command("do=estop"), 204);
    EXPECT_EQ(command(jog, &why), 400) << "emergency stop";
    EXPECT_NE(why.find("emergency stop is pressed"), std::string::npos) << why;
    EXPECT_EQ(command("do=homing&axis=0"), 400) << "emergency stop";
    EXPECT_EQ(take().got, 0u);
    ASSERT_EQ(command("do=release"), 204);
    EXPECT_EQ(command(jog), 204) << "released";

    KSIM_PANEL_OFFER_JOG(0); // no longer offered: what waits is dropped
    EXPECT_EQ(take().got, 0u);
}

} // namespace
