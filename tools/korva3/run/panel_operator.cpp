// panel_operator.cpp - the panel's jog and homing of card 0, run by the controller.
#include "run/panel_operator.h"

#include <cmath>

#include "run/jog_words.h"

namespace korva3_tool {

namespace kc = korva3_control;

namespace {

const char kAxisName[] = "XYZ";

// Turns a posted request may wait to be taken before its silence counts as a refusal.
constexpr int kTurnsToStart = 3;

} // namespace

std::string PanelOperator::amount(int axis, int32_t pulses) const
{
    return jog_amount(pulses, in_mm_ ? set_.scale[axis] : 0);
}

std::string PanelOperator::where(int axis) const
{
    std::array<int32_t, 3> xyz{};
    machine::position(0, xyz);
    return axis_at(kAxisName[axis], xyz[axis], in_mm_ ? set_.scale[axis] : 0);
}

void PanelOperator::take(kc::Controller &c, const machine::PanelRequest &r)
{
    const bool bad = r.axis > 3 || (!r.home && (r.axis == 0 || r.pulses == 0));
    std::string refused;
    if (bad)
        refused = "refused: no such axis or step";
    else if (machine::panel_estop_at(0))
        refused = "refused: the emergency stop is pressed (release it first)";
    else if (busy_)
        refused = "refused: the axes are moving (wait for them to stop)";
    if (!refused.empty()) {
        machine::report_panel(0, false, refused);
        return;
    }
    kc::Request q;
    home_ = r.home;
    axis_ = r.home && r.axis == 0 ? -1 : static_cast<int>(r.axis) - 1;
    if (r.home) {
        q.ask = kc::Ask::Home;
        q.axis = axis_;
        what_ = axis_ < 0 ? "homing" : std::string("homing ") + kAxisName[axis_];
    } else {
        std::array<int32_t, 3> xyz{};
        machine::position(0, xyz);
        target_ = static_cast<int32_t>(static_cast<uint32_t>(xyz[axis_]) + static_cast<uint32_t>(r.pulses));
        q.ask = kc::Ask::Jog;
        q.axis = axis_;
        q.number = r.pulses / set_.scale[axis_];
        q.feed_mm_min = set_.max_velocity[axis_]; // the panel jogs at the axis's highest speed
        what_ = std::string("jog ") + kAxisName[axis_] + " " + amount(axis_, r.pulses);
    }
    if (!c.post(q)) {
        machine::report_panel(0, false, "refused: the controller is busy");
        return;
    }
    busy_ = true;
    started_ = false;
    turns_ = 0;
    machine::report_panel(0, true, what_ + ": running");
}

void PanelOperator::follow(kc::Controller &c)
{
    const kc::Snapshot s = c.snapshot();
    const bool estop = s.state == kc::State::EStop;
    if (estop && !machine::panel_estop()) { // the bench's stop released: the machine's too
        kc::Request q;
        q.ask = kc::Ask::Reset;
        c.post(q);
    }
    if (!busy_)
        return;
    if (s.activity != kc::Activity::None)
        started_ = true;
    if (!started_ && !estop && ++turns_ <= kTurnsToStart)
        return;
    if (started_ && s.activity != kc::Activity::None)
        return;
    busy_ = false;
    const int axis = axis_ < 0 ? 1 : axis_; // homing every axis ends with Y
    std::string text;
    if (estop)
        text = what_ + ": ended by the emergency stop, " + where(axis);
    else if (!started_)
        text = s.error.empty() ? "refused" : s.error;
    else if (home_)
        text = s.error.empty() ? s.message : s.error + ", " + where(axis);
    else {
        std::array<int32_t, 3> xyz{};
        machine::position(0, xyz);
        text = what_ + (xyz[axis] != target_ ? ": stopped short (a limit switch?), " : ": done, ") +
               where(axis);
    }
    machine::report_panel(0, false, text);
}

} // namespace korva3_tool
