// streamed_lines_test.cpp - a sender's lines through the controller's line feed: each
// answered in order, a line in error refused and not run, the modal state carried from
// line to line, a jog's line in machine mm that leaves the modal state alone.
#include "control_fixture.h"

namespace korva3_control {

TEST_F(ControlTest, StreamedLinesRunInOrderAndALineInErrorRunsNothing)
{
    options.lines = &feed;
    serve_on_thread();
    struct Step {
        const char *text;
        bool ok;
    };
    const Step steps[] = {
        {"G21 G90 F600", true}, {"G1 X2", true},    {"G1 X5 Q", false}, // Q without a number
        {"G91 G1 Y1", true},    {"G1 X-1", true},   {"G0 G5 X3", false},
    };
    for (const Step &s : steps) {
        StreamedLine l;
        l.text = s.text;
        EXPECT_EQ(feed.run(l).ok, s.ok) << s.text;
    }
    ASSERT_TRUE(wait_until([](const Snapshot &s) {
        return s.state == State::Idle && s.activity == Activity::None && s.machine_mm[1] > 0.5;
    }));
    const Snapshot s = controller->snapshot();
    EXPECT_NEAR(s.machine_mm[0], 1, 1e-9);
    EXPECT_NEAR(s.machine_mm[1], 1, 1e-9);
    EXPECT_EQ(s.modal.distance, "G91");

    StreamedLine jog;
    jog.kind = StreamedLine::Kind::Jog;
    jog.target_mm = {0, 0, 2};
    jog.feed_mm_min = 1200;
    EXPECT_TRUE(feed.run(jog).ok);
    ASSERT_TRUE(wait_until([](const Snapshot &s) {
        return s.activity == Activity::None && s.machine_mm[2] > 1.5;
    }));
    const Snapshot j = controller->snapshot();
    EXPECT_NEAR(j.machine_mm[0], 0, 1e-9);
    EXPECT_NEAR(j.machine_mm[2], 2, 1e-9);
    EXPECT_EQ(j.modal.distance, "G91");
    EXPECT_EQ(j.modal.motion, "G1");
}

TEST_F(ControlTest, CheckedLinesLeaveTheSessionAsItWas)
{
    options.lines = &feed;
    serve_on_thread();
    const struct {
        StreamedLine::Kind kind;
        const char *text;
        bool ok;
    } steps[] = {
        {StreamedLine::Kind::Gcode, "G21 G90 F600", true},
        {StreamedLine::Kind::Check, "G20 G91", true},
        {StreamedLine::Kind::Check, "G1 X1", true},    // read in inches, relative: nothing moves
        {StreamedLine::Kind::Check, "G1 X1 Q", false}, // an error is still found
        {StreamedLine::Kind::Gcode, "G1 X2", true},    // check mode left: mm, absolute
    };
    for (const auto &s : steps) {
        StreamedLine l;
        l.kind = s.kind;
        l.text = s.text;
        EXPECT_EQ(feed.run(l).ok, s.ok) << s.text;
    }
    ASSERT_TRUE(wait_until([](const Snapshot &s) {
        return s.activity == Activity::None && s.machine_mm[0] > 1.5;
    }));
    EXPECT_NEAR(controller->snapshot().machine_mm[0], 2, 1e-9);
    EXPECT_EQ(controller->snapshot().modal.distance, "G90");
}

} // namespace korva3_control
