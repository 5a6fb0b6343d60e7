// controller_view.cpp - the controller seen and touched by a person at the machine.
#include "controller.h"
#include "wrap32.h"

namespace korva::sim {

void Controller::hold_switch(std::uint32_t axis, HandSwitch which, bool held)
{
    if (Axis* a = axis_at(axis))
        a->held = static_cast<std::uint8_t>(held ? (a->held | which) : (a->held & ~which));
}

void Controller::latch_estop(bool pressed)
{
    if (pressed == estop_latched_)
        return;
    estop_latched_ = pressed;
    if (observer_)
        observer_->on_estop(now_us_, pressed);
    if (pressed)
        stop_motion();
}

ControllerView Controller::view() const
{
    ControllerView v{};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::int64_t to_go = queued_pulses_[i] + axes_[i].motion.to_go();
        v.commanded[i] = wrap_add(axes_[i].position, static_cast<std::int32_t>(static_cast<std::uint32_t>(to_go)));
        v.actual[i] = axes_[i].position;
        v.held[i] = axes_[i].held;
    }
    v.status = model_status();
    v.limits = limit_byte();
    v.inputs = inputs_;
    v.outputs = dio_out_;
    v.faults = static_cast<std::uint8_t>((silent_ ? kFaultBitSilent : 0) |
                                         (stall_pending_ ? kFaultBitStall : 0) |
                                         (corrupt_left_ ? kFaultBitCorrupt : 0) |
                                         (never_ready_ ? kFaultBitNeverReady : 0));
    v.last_command = static_cast<std::uint8_t>(last_cmd_code_);
    v.link_answers = link_answers_;
    v.id_switch = id_switch_;
    v.queued = static_cast<std::uint32_t>(slices_.size());
    v.queue_size = timing_.queue_size;
    v.commands = commands_;
    v.bad_commands = bad_commands_;
    v.resets = resets_;
    v.estop = estop_latched_;
    return v;
}

} // namespace korva::sim
