// controller_bench.cpp - the controller as the test bench (KSIM_ functions, the tests)
// touches and reads it: inputs, bytes held, offered, forced or scripted, the frame and
// byte logs, and its values by name.
#include "controller.h"

namespace korva::sim {

void Controller::set_inputs(std::uint8_t value)
{
    if (observer_ && value != inputs_)
        observer_->on_inputs(now_us_, value);
    inputs_ = value;
}

void Controller::hold(std::uint32_t n)
{
    ++hold_marks_[bytes_written_ + n];
    note_status_setup();
}

void Controller::offer(const std::uint8_t* bytes, std::uint32_t n)
{
    if (bytes != nullptr)
        for (std::uint32_t i = 0; i < n; ++i)
            outbound_.push_back(bytes[i]);
}

void Controller::offer_on_link_test(const std::uint8_t* bytes, std::uint32_t n)
{
    if (bytes != nullptr)
        link_test_offer_.insert(link_test_offer_.end(), bytes, bytes + n);
}

void Controller::force_status(std::uint8_t mask, std::uint8_t value)
{
    force_mask_ = mask;
    note_status_setup();
    force_value_ = value;
}

void Controller::script_status(const std::uint8_t* values, std::uint32_t n)
{
    if (values != nullptr)
        status_script_.insert(status_script_.end(), values, values + n);
    note_status_setup();
}

std::uint32_t Controller::take_frames(std::uint8_t* out, std::uint32_t max)
{
    return static_cast<std::uint32_t>(frame_log_.take(max, [out](const Frame& f, std::size_t i) {
        if (out != nullptr)
            for (std::size_t k = 0; k < kFrameSize; ++k)
                out[i * kFrameSize + k] = f[k];
    }));
}

std::uint32_t Controller::take_bytes(std::uint8_t* out, std::uint32_t max)
{
    return static_cast<std::uint32_t>(byte_log_.take(max, [out](std::uint8_t b, std::size_t i) {
        if (out != nullptr)
            out[i] = b;
    }));
}

std::int32_t Controller::axis_pulses(std::uint32_t axis) const
{
    const Axis* a = axis_at(axis);
    return a ? a->intp_pulses : 0;
}

std::int32_t Controller::value(const std::string& name, std::uint32_t axis) const
{
    auto as_int = [](std::uint32_t v) { return static_cast<std::int32_t>(v); };

    // Card-wide values.
    if (name == "nc") return as_int(nc_);
    if (name == "card_var") return as_int(card_var_);
    if (name == "accel") return as_int(accel_);
    if (name == "start_speed") return as_int(start_speed_);
    if (name == "high_speed") return as_int(high_speed_);
    if (name == "commands") return as_int(commands_);
    if (name == "intp_frames") return as_int(intp_frames_);
    if (name == "system_resets") return as_int(system_resets_);
    if (name == "bad_commands") return as_int(bad_commands_);
    if (name == "resets") return as_int(resets_);
    if (name == "outputs") return as_int(dio_out_);
    if (name == "slice_period_us") return as_int(timing_.slice_period_us);
    if (name == "inputs") return as_int(inputs_);
    if (name == "status_reads") return as_int(status_reads_);
    if (name == "bytes_written") return as_int(static_cast<std::uint32_t>(bytes_written_));
    if (name == "outbound") return as_int(static_cast<std::uint32_t>(outbound_.size()));

    // Per-axis values.
    const Axis* a = axis_at(axis);
    if (a == nullptr) return 0;
    if (name == "mode") return as_int(a->mode);
    if (name == "defdir") return as_int(a->defdir);
    if (name == "servo_on") return as_int(a->servo_on);
    if (name == "position") return a->position;
    if (name == "speed") return as_int(a->motion.speed());
    if (name == "intp_pulses") return a->intp_pulses;
    if (name == "last_cmd") return as_int(a->last_cmd);
    if (name == "last_pulses") return a->last_pulses;
    if (name == "last_speed") return as_int(a->last_speed);
    if (name == "last_dir") return as_int(a->last_dir);
    if (name == "last_home1") return as_int(a->last_home1);
    if (name == "last_home2") return as_int(a->last_home2);
    return 0;
}

} // namespace korva::sim
