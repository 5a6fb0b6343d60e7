// requests_test.cpp - what the controller takes and refuses in each state, in the words
// a front end shows. The controller serves on a thread of its own; each row is a
// request from a front end and the answer it must get.
#include "control_fixture.h"

namespace korva3_control {

namespace {

struct Row {
    Request request;
    bool ok;
    const char *says; // a part of the answer
};

Request with_text(Ask a, const std::string &text)
{
    Request r;
    r.ask = a;
    r.text = text;
    return r;
}

Request jog(int axis, double mm)
{
    Request r;
    r.ask = Ask::Jog;
    r.axis = axis;
    r.number = mm;
    return r;
}

Request run_from(int line)
{
    Request r;
    r.ask = Ask::RunFrom;
    r.line = line;
    return r;
}

} // namespace

class RequestsTest : public ControlTest {
protected:
    void expect(const std::vector<Row> &rows, const char *state)
    {
        for (const Row &row : rows) {
            const Reply reply = controller->ask(row.request);
            EXPECT_EQ(reply.ok, row.ok) << state << ": " << reply.text;
            EXPECT_NE(reply.text.find(row.says), std::string::npos)
                << state << ": \"" << reply.text << "\" lacks \"" << row.says << "\"";
        }
    }
};

TEST_F(RequestsTest, EachStateTakesWhatItCanAndSaysWhyItRefusesTheRest)
{
    serve_on_thread();
    // A line that runs for hours: the machine stays in its state while the rows are asked.
    const std::string long_cut = program("G21 G90 M3\nG1 X500 F1\nM2\n");

    expect({{ask(Ask::CycleStart), false, "no program is loaded"},
            {run_from(2), false, "no program is loaded"},
            {ask(Ask::Hold), false, "nothing runs"},
            {ask(Ask::Resume), false, "nothing runs"},
            {ask(Ask::Reset), true, "no emergency stop"},
            {ask(Ask::Override, 0, 0), false, "1..1000 %"},
            {ask(Ask::Override, 0, 150), true, "150 %"},
            {jog(3, 1), false, "no such axis"},
            {jog(0, 0), false, "not 0"},
            {with_text(Ask::Mdi, " "), false, "empty MDI line"},
            {with_text(Ask::Mdi, "G0 X1\nG0 X2"), false, "one line"},
            {ask(Ask::TouchOff, 7, 0), false, "no such axis"},
            {with_text(Ask::Load, program("G1 X1 F100 Q\n")), true, "checking"}},
           "idle");
    ASSERT_TRUE(wait_until([](const Snapshot &s) { return !s.checking && !s.program.empty(); }));
    expect({{ask(Ask::CycleStart), false, "has errors: nothing of it runs"},
            {with_text(Ask::Load, long_cut), true, "checking"}},
           "idle, a program with errors loaded");
    ASSERT_TRUE(wait_until([](const Snapshot &s) { return s.message.rfind("loaded", 0) == 0; }));
    expect({{run_from(4), false, "run from line: 1..3"}, {ask(Ask::CycleStart), true, "running"}},
           "idle, loaded");
    ASSERT_TRUE(wait_until([](const Snapshot &s) { return s.line == 2; }));

    expect({{with_text(Ask::Mdi, "G0 X1"), false, "MDI while the machine moves"},
            {jog(0, 1), false, "a jog while the machine moves"},
            {ask(Ask::Home, -1), false, "homing while the machine moves"},
            {ask(Ask::TouchOff, 0, 0), false, "touch-off while the machine moves"},
            {with_text(Ask::Load, long_cut), false, "while the machine moves"},
            {ask(Ask::CycleStart), false, "a program runs"},
            {ask(Ask::Resume), false, "nothing is held"},
            {ask(Ask::JogRenew), false, "no continuous jog runs"},
            {ask(Ask::Override, 0, 200), true, "200 %"},
            {ask(Ask::Hold), true, "feed hold"}},
           "running");
    ASSERT_TRUE(wait_until([](const Snapshot &s) { return s.state == State::Held; }));
    expect({{jog(0, 1), false, "a jog while held"},
            {with_text(Ask::Mdi, "G0 X1"), false, "MDI while held"},
            {ask(Ask::Hold), true, "feed hold"}},
           "held");

    controller->emergency_stop();
    ASSERT_TRUE(wait_until([](const Snapshot &s) { return s.state == State::EStop; }));
    EXPECT_EQ(KSIM_OUTPUTS(0) & 1u, 0u) << "the spindle is off after the emergency stop";
    expect({{ask(Ask::CycleStart), false, "in an emergency stop (reset it first)"},
            {jog(0, 1), false, "in an emergency stop"},
            {with_text(Ask::Mdi, "G0 X1"), false, "in an emergency stop"},
            {ask(Ask::Override, 0, 100), true, "100 %"},
            {ask(Ask::Reset), true, "emergency stop reset"},
            {ask(Ask::Hold), false, "nothing runs"}},
           "e-stop");
    EXPECT_EQ(controller->snapshot().state, State::Idle);
}

} // namespace korva3_control
