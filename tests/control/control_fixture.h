// control_fixture.h - a controller on a fresh virtual machine with one card, for the
// controller's tests. The controller serves on a thread of its own (a front end's
// requests come from the test's thread), or on the test's thread with a scripted front
// end in its poll hook, where what happens must happen at a given virtual time.
#ifndef KORVA_TESTS_CONTROL_FIXTURE_H
#define KORVA_TESTS_CONTROL_FIXTURE_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "control/controller.h"
#include "control/line_feed.h"
#include "korva3_sim.h"
#include "sim_fixture.h"

namespace korva3_control {

// The virtual machine as the controller sees it.
class VirtualLink : public MachineLink {
public:
    uint32_t clock_ms() override { return KSIM_CLOCK_MS(); }
    void sleep_ms(uint32_t ms) override { KSIM_ADVANCE_MS(ms); }
    bool position(uint32_t, std::array<int32_t, 3> &xyz) override
    {
        for (uint32_t a = 0; a < 3; a++)
            xyz[a] = KSIM_POSITION(0, a + 1);
        return true;
    }
};

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KSIM_RESET();
        ASSERT_EQ(add_card(0, 3, 0), 0);
        options.settings.outputs.spindle = 0; // M3: output bit 0
    }

    void TearDown() override { stop_serving(); }

    // The controller, opened on this thread; `hooks` are its front end's.
    Controller &open(ControlHooks hooks = {})
    {
        controller = std::make_unique<Controller>(link, options, std::move(hooks));
        std::string error;
        EXPECT_TRUE(controller->open(error)) << error;
        return *controller;
    }

    // A program in a file of the test's own.
    std::string program(const std::string &text)
    {
        const std::string path = ::testing::TempDir() + "control_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                 std::to_string(files_++) + ".ngc";
        std::ofstream(path) << text;
        return path;
    }

    // The controller opened and served on a thread of its own (the card's owner).
    void serve_on_thread()
    {
        controller = std::make_unique<Controller>(link, options);
        server = std::thread([this] {
            std::string error;
            ASSERT_TRUE(controller->open(error)) << error;
            controller->serve();
        });
        ASSERT_TRUE(wait_until([](const Snapshot &s) { return s.version > 0; }));
    }
    void stop_serving()
    {
        if (controller)
            controller->shutdown();
        if (server.joinable())
            server.join();
    }

    // Waits (wall clock, generous) until the snapshot says so.
    bool wait_until(const std::function<bool(const Snapshot &)> &ok, int seconds = 30)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (ok(controller->snapshot()))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    static Request ask(Ask a, int axis = 0, double number = 0)
    {
        Request r;
        r.ask = a;
        r.axis = axis;
        r.number = number;
        return r;
    }

    VirtualLink link;
    LineFeed feed; // a sender's lines (options.lines); outlives the serving thread
    ControlOptions options;
    std::unique_ptr<Controller> controller;
    std::thread server;
    int files_ = 0;
};

} // namespace korva3_control

#endif
