// jog_station.cpp - jog and homing from the panel, run on the thread that owns the cards.
#include "run/jog_station.h"

#include "korva3.h"
#include "machine/card_at_work.h"
#include "run/jog_words.h"

namespace korva3_tool {

namespace {

const char kAxisName[] = {'?', 'X', 'Y', 'Z'};
const uint32_t kMovingBit[] = {0, KORVA3_ST_X_MOVING, KORVA3_ST_Y_MOVING, KORVA3_ST_Z_MOVING};

// Polls in a row that must find an axis at rest before its motion counts as ended (as
// KORVA3_WAIT_X looks twice).
constexpr int kIdlePolls = 2;

} // namespace

std::string JogStation::amount(uint32_t axis, int32_t pulses) const
{
    return jog_amount(pulses, settings_.scale[axis - 1]);
}

std::string JogStation::where(uint32_t card, uint32_t axis) const
{
    std::array<int32_t, 3> xyz{};
    machine::position(card, xyz);
    return axis_at(kAxisName[axis], xyz[axis - 1], settings_.scale[axis - 1]);
}

void JogStation::follow_all()
{
    for (std::size_t i = 0; i < running_.size(); i++)
        if (active_[i])
            follow(static_cast<int>(i), running_[i]);
}

void JogStation::poll()
{
    follow_all();
    machine::PanelRequest request;
    while (machine::take_panel_request(request))
        take(request);
}

void JogStation::take(const machine::PanelRequest &r)
{
    const int card = machine::card_number(r.index);
    const bool bad = r.axis > 3 || (!r.home && (r.axis == 0 || r.pulses == 0));
    std::string refused;
    if (card < 0)
        refused = "refused: card " + std::to_string(r.index) + " is not registered";
    else if (bad)
        refused = "refused: no such axis or step";
    else if (machine::panel_estop_at(r.index))
        refused = "refused: the emergency stop is pressed (release it first)";
    else if (card_at_work(static_cast<uint32_t>(card)))
        refused = "refused: the axes are moving (wait for them to stop)";
    if (!refused.empty()) {
        machine::report_panel(r.index, false, refused);
        return;
    }
    if (running_.size() <= static_cast<std::size_t>(r.index)) {
        running_.resize(static_cast<std::size_t>(r.index) + 1);
        active_.resize(running_.size(), false);
    }
    Running run;
    run.card = static_cast<uint32_t>(card);
    run.home = r.home;
    if (r.home && r.axis == 0) {
        run.axis = 3; // Z first, clear of the work, then X and Y
        run.axes = {1, 2};
    } else {
        run.axis = r.axis;
    }
    run.pulses = r.pulses;
    // The ramps and the homing speed, sent anew: an emergency stop resets the controller.
    KORVA3_SET_VAR(run.card, settings_.card_var, settings_.accel, settings_.start_speed,
                   settings_.home_speed, 0);
    start_axis(r.index, run);
    running_[static_cast<std::size_t>(r.index)] = run;
    active_[static_cast<std::size_t>(r.index)] = true;
}

void JogStation::start_axis(int index, Running &run)
{
    run.idle_seen = 0;
    if (run.home) {
        run.what = std::string("homing ") + kAxisName[run.axis];
        KORVA3_BACK_HOME(run.card, run.axis, 0, 0);
    } else {
        run.what = std::string("jog ") + kAxisName[run.axis] + " " + amount(run.axis, run.pulses);
        std::array<int32_t, 3> xyz{};
        machine::position(run.card, xyz);
        run.target = static_cast<int32_t>(static_cast<uint32_t>(xyz[run.axis - 1]) +
                                          static_cast<uint32_t>(run.pulses)); // wraps as the card
        KORVA3_PULSE_MOVE(run.card, run.axis, run.pulses, settings_.speed[run.axis - 1]);
    }
    machine::report_panel(index, true, run.what + ": running");
}

void JogStation::follow(int index, Running &run)
{
    const uint32_t status = KORVA3_MSC(run.card);
    const bool moving = (status & (KORVA3_ST_BUSY | kMovingBit[run.axis])) != 0;
    run.idle_seen = moving ? 0 : run.idle_seen + 1;
    if (run.idle_seen < kIdlePolls)
        return;
    const bool stopped = machine::panel_estop_at(index);
    std::array<int32_t, 3> xyz{};
    machine::position(run.card, xyz);
    const bool short_of_home = run.home && xyz[run.axis - 1] != 0; // homing makes it 0
    const bool short_of_step = !run.home && xyz[run.axis - 1] != run.target;
    if (run.home && !stopped && !short_of_home) {
        run.done += std::string(run.done.empty() ? "" : ", ") + kAxisName[run.axis];
        if (!run.axes.empty()) {
            run.axis = run.axes.front();
            run.axes.erase(run.axes.begin());
            start_axis(index, run);
            return;
        }
    }
    std::string text;
    if (stopped)
        text = run.what + ": ended by the emergency stop, " + where(run.card, run.axis);
    else if (short_of_home)
        text = run.what + ": stopped before the home switch, " + where(run.card, run.axis);
    else if (short_of_step)
        text = run.what + ": stopped short (a limit switch?), " + where(run.card, run.axis);
    else if (run.home)
        text = "homed " + run.done + ": home switch found, now position 0";
    else
        text = run.what + ": done, " + where(run.card, run.axis);
    machine::report_panel(index, false, text);
    active_[static_cast<std::size_t>(index)] = false;
}

} // namespace korva3_tool
