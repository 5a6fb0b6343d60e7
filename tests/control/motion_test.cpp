// motion_test.cpp - a running work's controls on the virtual card, scripted in virtual
// time by a front end in the controller's poll: a continuous jog that ends when its
// renewals stop, a stop that leaves the spindle off, hold and resume, run from a line.
#include "control_fixture.h"

#include <cmath>

namespace korva3_control {

namespace {

std::array<int32_t, 3> card_position()
{
    return {KSIM_POSITION(0, 1), KSIM_POSITION(0, 2), KSIM_POSITION(0, 3)};
}

// Serves until the work started by the script has ended (the controller at rest again).
void serve_until_done(Controller &c, const bool &started)
{
    c.serve([&] {
        const Snapshot s = c.snapshot();
        return started && s.activity == Activity::None;
    });
}

} // namespace

// The front end renews a continuous jog every 100 ms for a second, then goes silent (a
// closed page): the jog ends within its deadline, braking, and stands.
TEST_F(ControlTest, AContinuousJogEndsWithinItsDeadlineWhenItsRenewalsStop)
{
    options.jog_deadline_ms = 250;
    bool started = false;
    uint32_t t0 = 0, renewed = 0, ended = 0;
    ControlHooks hooks;
    hooks.poll = [&] {
        const uint32_t now = KSIM_CLOCK_MS();
        if (!started) {
            Request r;
            r.ask = Ask::Jog;
            r.axis = 0;
            r.continuous = true;
            r.feed_mm_min = 600;
            controller->post(r);
            started = true;
            t0 = renewed = now;
        } else if (now - t0 < 1000 && now - renewed >= 100) {
            Request r;
            r.ask = Ask::JogRenew;
            controller->post(r);
            renewed = now;
        }
    };
    Controller &c = open(hooks);
    serve_until_done(c, started);
    ended = KSIM_CLOCK_MS(); // the work ends once the card stands
    EXPECT_EQ(c.snapshot().state, State::Idle);
    // 600 mm/min brakes in 20 ms at 500 mm/s^2; the slices queued ahead of the card and
    // a few turns of the loop besides.
    EXPECT_GE(ended - renewed, options.jog_deadline_ms);
    EXPECT_LE(ended - renewed, options.jog_deadline_ms + 20 + kJogQueueMs + 20);
    const double x_mm = card_position()[0] / options.settings.scale[0];
    EXPECT_NEAR(x_mm, 10.0 * (ended - t0) / 1000.0, 0.3) << "X ran at 600 mm/min all along";
    EXPECT_EQ(card_position()[1], 0);
}

// A stop mid-program brakes along the path, switches the spindle off (M3 set it) and
// leaves the controller Stopped at the line it was on; hold and resume before it keep
// the path whole.
TEST_F(ControlTest, HoldResumeThenStopLeavesTheSpindleOffAndTheLineKnown)
{
    bool started = false, held = false, resumed = false, stopped = false;
    ControlHooks hooks;
    hooks.poll = [&] {
        const Snapshot s = controller->snapshot();
        Request r;
        if (!started) {
            r.ask = Ask::CycleStart;
            controller->post(r);
            started = true;
        } else if (!held && s.line == 3) {
            r.ask = Ask::Hold;
            controller->post(r);
            held = true;
        } else if (held && !resumed && s.state == State::Held) {
            EXPECT_EQ(KSIM_OUTPUTS(0) & 1u, 1u) << "the spindle runs on through a hold";
            r.ask = Ask::Resume;
            controller->post(r);
            resumed = true;
        } else if (resumed && !stopped && s.line == 4) {
            r.ask = Ask::Stop;
            controller->post(r);
            stopped = true;
        }
    };
    Controller &c = open(hooks);
    const std::string path = program("G21 G90 M3\nG1 X10 F600\nG1 Y10\nG1 X0\nG1 Y0\nM2\n");
    ASSERT_TRUE(c.load(path).ok);
    serve_until_done(c, started);
    const Snapshot s = c.snapshot();
    EXPECT_TRUE(held && resumed && stopped);
    EXPECT_EQ(s.state, State::Stopped);
    EXPECT_EQ(s.stopped_line, 4);
    EXPECT_EQ(KSIM_OUTPUTS(0) & 1u, 0u) << "the spindle is off after the stop";
    const auto at = card_position();
    EXPECT_EQ(at[1], 10000) << "the path was whole up to the stop";
    EXPECT_GT(at[0], 0);
    EXPECT_LT(at[0], 10000);
}

// Run from line 4 ends where the whole program ends: the lines before it take effect
// (G91, the spindle) without moving, and the safe move brings the machine to where the
// program stands at line 4.
TEST_F(ControlTest, RunFromALineEndsWhereTheWholeProgramEnds)
{
    const std::string text = "G21 G90 G0 Z5\nM3\nG1 X10 Y5 F900\nG1 Z-1\nG91 G1 X5\nG90 G2 X25 Y5 I5 J0\nG0 Z5\n";
    std::array<int32_t, 3> whole{};
    for (int from : {0, 4}) {
        SCOPED_TRACE(from);
        SetUp();
        bool started = false, spindle_on_cut = false;
        ControlHooks hooks;
        hooks.poll = [&] {
            if (controller->snapshot().line == 6)
                spindle_on_cut = spindle_on_cut || (KSIM_OUTPUTS(0) & 1u) != 0;
            if (!started) {
                Request r;
                r.ask = from ? Ask::RunFrom : Ask::CycleStart;
                r.line = from;
                controller->post(r);
                started = true;
            }
        };
        Controller &c = open(hooks);
        ASSERT_TRUE(c.load(program(text)).ok);
        serve_until_done(c, started);
        EXPECT_EQ(c.last_work().end, WorkReport::End::Done) << c.snapshot().error;
        if (!from) {
            whole = card_position();
        } else {
            EXPECT_EQ(card_position(), whole);
        }
        EXPECT_TRUE(spindle_on_cut) << "M3 before the line takes effect";
        controller.reset();
    }
    EXPECT_EQ(whole, (std::array<int32_t, 3>{25000, 5000, 5000}));
}

} // namespace korva3_control

namespace korva3_control {

// MDI lines read with the session's modal state, and a touch-off that sets the work
// offset in force: "G91" stays in force for the next lines; after touching X off at 10,
// "G90 G0 X0" goes to where X reads 0; a line with an error moves nothing and leaves
// the modes as they were.
TEST_F(ControlTest, MdiLinesKeepTheSessionsModesAndATouchOffMovesWorkZero)
{
    const std::vector<std::pair<Request, double>> steps = {
        // request, X of the card afterwards (mm)
        {{Ask::Mdi, "G21 G91 G0 X1"}, 1},
        {{Ask::Mdi, "G0 X1"}, 2},
        {{Ask::Mdi, "G0 X1 Q"}, 2}, // refused: Q has no number
        {{Ask::TouchOff, "", 0, 10}, 2},
        {{Ask::Mdi, "G90 G0 X0"}, -8},
        {{Ask::Mdi, "G0 X2.5"}, -5.5},
    };
    std::size_t next = 0;
    bool waiting = false;
    ControlHooks hooks;
    hooks.poll = [&] {
        const Snapshot s = controller->snapshot();
        if (waiting && s.activity == Activity::None && s.state == State::Idle) {
            waiting = false;
            EXPECT_NEAR(KSIM_POSITION(0, 1) / options.settings.scale[0], steps[next].second, 1e-9)
                << steps[next].first.text;
            if (next == 1) {
                EXPECT_EQ(s.modal.distance, "G91") << "G91 stays in force";
            }
            if (next == 3) {
                EXPECT_NEAR(s.work_mm[0], 10, 1e-9) << "X reads 10 after the touch-off";
            }
            next++;
        }
        if (!waiting && next < steps.size()) {
            controller->post(steps[next].first);
            waiting = true;
        }
    };
    Controller &c = open(hooks);
    c.serve([&] { return next == steps.size(); });
    EXPECT_EQ(next, steps.size());
    EXPECT_EQ(c.snapshot().modal.distance, "G90");
}

} // namespace korva3_control
