// request_handling.cpp - which requests each state takes, and what taking them does.
#include <cmath>
#include <cstdio>

#include "control/controller_impl.h"
#include "gcode/modal.h"

namespace korva3_control {

namespace {

const char kAxisName[] = "XYZ";

Reply refused(const std::string &why) { return {false, "refused: " + why}; }

bool axis_ok(int axis) { return axis >= 0 && axis <= 2; }

// What a request is called in a refusal: "MDI", "a jog", ...
const char *what(Ask a)
{
    switch (a) {
    case Ask::Load: return "loading a program";
    case Ask::CycleStart: return "cycle start";
    case Ask::Hold: return "feed hold";
    case Ask::Resume: return "resume";
    case Ask::Stop: return "stop";
    case Ask::Reset: return "reset";
    case Ask::Override: return "the feed override";
    case Ask::Mdi: return "MDI";
    case Ask::Jog: return "a jog";
    case Ask::JogRenew: return "a jog's renewal";
    case Ask::JogCancel: return "jog cancel";
    case Ask::Home: return "homing";
    case Ask::TouchOff: return "touch-off";
    case Ask::RunFrom: return "run from a line";
    }
    return "?";
}

} // namespace

Reply Controller::Impl::handle(const Request &r)
{
    if (r.ask == Ask::Override) {
        const double p = std::round(r.number);
        if (!(p >= 1 && p <= 1000))
            return refused("the feed override is 1..1000 %");
        override_percent = static_cast<uint32_t>(p);
        return {true, "feed override " + std::to_string(override_percent) + " %"};
    }
    if (r.ask == Ask::Load)
        return start_load(r.text);
    if (state == State::EStop) {
        if (r.ask != Ask::Reset)
            return refused(std::string(what(r.ask)) + " in an emergency stop (reset it first)");
        if (link.estop_pressed())
            return refused("the machine's emergency stop is still pressed (release it first)");
        state = State::Idle;
        read_machine();
        say("emergency stop reset");
        return {true, message_};
    }
    switch (r.ask) {
    case Ask::Reset:
        return {true, "no emergency stop to reset"};
    case Ask::Hold:
    case Ask::Resume:
    case Ask::JogRenew:
        return refused(std::string(what(r.ask)) + ": nothing runs");
    case Ask::Stop:
    case Ask::JogCancel:
        return {true, "nothing runs"};
    case Ask::TouchOff:
        session.end_checking();
        return touch_off(r.axis, r.number);
    case Ask::Home:
        if (r.axis < -1 || r.axis > 2)
            return refused("no such axis");
        pending = {WorkKind::Home, r, 0};
        return {true, "homing"};
    case Ask::Mdi:
        if (r.text.find_first_not_of(" \t\r\n") == std::string::npos)
            return refused("an empty MDI line");
        if (r.text.size() > 256 || r.text.find('\n') != std::string::npos)
            return refused("an MDI line is one line of at most 256 characters");
        pending = {WorkKind::Mdi, r, 0};
        return {true, "MDI: " + r.text};
    case Ask::Jog: {
        if (!axis_ok(r.axis))
            return refused("no such axis");
        if (!r.continuous && !(std::isfinite(r.number) && r.number != 0 && std::fabs(r.number) <= 1e5))
            return refused("a jog's step is a distance in mm, not 0");
        if (r.feed_mm_min < 0 || !std::isfinite(r.feed_mm_min))
            return refused("a jog's feed is above 0");
        pending = {WorkKind::Jog, r, 0};
        return {true, std::string("jog ") + kAxisName[r.axis]};
    }
    case Ask::CycleStart:
    case Ask::RunFrom: {
        if (checking.load())
            return refused("the program is still being checked");
        if (!check)
            return refused("no program is loaded");
        if (!check->accepted)
            return refused(check->name + " has errors: nothing of it runs");
        const int from = r.ask == Ask::RunFrom ? r.line : 0;
        if (r.ask == Ask::RunFrom && (from < 1 || from > check->lines))
            return refused("run from line: 1.." + std::to_string(check->lines));
        pending = {WorkKind::Program, r, from};
        return {true, from ? "running " + check->name + " from line " + std::to_string(from)
                           : "running " + check->name};
    }
    default:
        return refused(what(r.ask));
    }
}

Reply Controller::Impl::handle_moving(const Request &r)
{
    const bool held = state == State::Held || state == State::Holding;
    switch (r.ask) {
    case Ask::Override:
        return handle(r);
    case Ask::Hold:
        if (activity == Activity::Home)
            return refused("feed hold while homing (stop it)");
        if (activity == Activity::Jog) { // a hold ends a jog, as senders expect
            stop_asked = true;
            return {true, "jog cancelled"};
        }
        if (state == State::Stopping)
            return refused("feed hold while stopping");
        hold_asked = true;
        return {true, "feed hold"};
    case Ask::Resume:
    case Ask::CycleStart:
        if (!held && !paused)
            return r.ask == Ask::CycleStart ? refused("cycle start: a program runs")
                                            : refused("resume: nothing is held");
        resume_asked = true;
        return {true, "resume"};
    case Ask::Stop:
        stop_asked = true;
        return {true, "stopping"};
    case Ask::JogRenew:
        if (activity != Activity::Jog || !jog_continuous)
            return refused("a jog's renewal: no continuous jog runs");
        jog_until_ms = link.clock_ms() + opt.jog_deadline_ms;
        return {true, "jog goes on"};
    case Ask::JogCancel:
        if (activity != Activity::Jog)
            return refused("jog cancel: no jog runs");
        stop_asked = true;
        return {true, "jog cancelled"};
    default: {
        const char *doing = held ? (paused ? "while a program is paused (stop it first)"
                                           : "while held (stop first)")
                                 : "while the machine moves (hold or stop it first)";
        return refused(std::string(what(r.ask)) + " " + doing);
    }
    }
}

void Controller::Impl::take_requests_moving()
{
    RequestQueue::Pending p;
    while (queue.take(p)) {
        const Reply r = told(handle_moving(p.request));
        publish(); // a front end that has its answer sees a snapshot at least as new
        RequestQueue::answer(p, r);
    }
}

Reply Controller::Impl::touch_off(int axis, double value)
{
    if (!axis_ok(axis))
        return refused("no such axis");
    if (!std::isfinite(value) || std::fabs(value) > 1e6)
        return refused("touch-off: a position in mm");
    read_machine();
    // As G10 L20 P0 does: the offset in force becomes such that the position reads value.
    korva3_gcode::State &st = session.reader;
    st.coords[st.coord][axis] = korva3_gcode::offset_for(st, axis, value);
    static const char *const kCoords[] = {"G54", "G55", "G56", "G57", "G58",
                                          "G59", "G59.1", "G59.2", "G59.3"};
    say(std::string("touch-off: ") + kAxisName[axis] + " reads " +
        korva3_gcode::number_text(value, 4) + " mm in " + kCoords[st.coord]);
    return {true, message_};
}

} // namespace korva3_control
