// controller.cpp - the card's register window and its controller's command model
// (what the test bench does to it: controller_bench.cpp).
#include "controller.h"

#include "port/card_regs.h"
#include "wrap32.h"

namespace korva::sim {

namespace {

// The reset line must stay high this long (virtual milliseconds) to reset the controller.
constexpr std::uint64_t kResetHoldMs = 50;

constexpr std::uint8_t kIdRegisterHigh = 0x50;
constexpr std::uint8_t kLinkTestReply[3] = {0x80, 0x37, 0x46};

std::uint32_t be16(const Frame& f, std::size_t at)
{
    return static_cast<std::uint32_t>(f[at]) << 8 | f[at + 1];
}

std::uint32_t be32(const Frame& f, std::size_t at)
{
    return be16(f, at) << 16 | be16(f, at + 2);
}

// One axis word of an interpolation slice: bit 15 = negative, bits 10..0 = pulses.
std::int32_t slice_pulses(const Frame& f, std::size_t at)
{
    std::uint32_t word = be16(f, at);
    std::int32_t magnitude = static_cast<std::int32_t>(word & 0x07FF);
    return (word & 0x8000) ? -magnitude : magnitude;
}

} // namespace

Controller::Controller(std::uint8_t id_switch, const TimingSettings& timing)
    : id_switch_(id_switch & 0x0F)
{
    set_timing(timing);
}

// ---- Register window -------------------------------------------------------------------

std::uint8_t Controller::in8_register(std::uint32_t offset)
{
    switch (offset) {
    case DATA_REG:
        return read_data();
    case STATUS_REG:
        return read_status();
    case DIO_REG:
        return inputs_;
    case ID_REG:
        return id_register();
    default:
        return 0xFF;
    }
}

std::uint16_t Controller::in16(std::uint32_t offset)
{
    if (offset == ID_REG)
        return id_register();
    return 0xFFFF;
}

void Controller::out8(std::uint32_t offset, std::uint8_t value)
{
    switch (offset) {
    case DATA_REG:
        write_data(value);
        break;
    case STATUS_REG:
        if (value == 0) {
            // Link reset, system reset, emergency stop: the controller clears its
            // mailbox both ways. A partial command is dropped, and bytes the host never
            // read (status reports that piled up) are gone, so a link test's echo is
            // the first thing the host reads after it.
            decoder_.reset();
            outbound_.clear();
        }
        break;
    case DIO_REG:
        write_dio(value);
        break;
    default:
        break; // control word, aux register and unused ports take anything
    }
}

void Controller::out16(std::uint32_t, std::uint16_t) {}

void Controller::out32(std::uint32_t, std::uint32_t) {}

std::uint8_t Controller::id_register() const
{
    return static_cast<std::uint8_t>(kIdRegisterHigh | (~id_switch_ & 0x0F));
}

// ---- Mailbox -----------------------------------------------------------------------------

std::uint8_t Controller::read_status()
{
    ++status_reads_;
    if (!status_script_.empty()) {
        std::uint8_t scripted = status_script_.front();
        status_script_.pop_front();
        note_status_setup();
        return scripted;
    }
    std::uint8_t status = model_status();
    auto mark = hold_marks_.find(bytes_written_);
    if (mark != hold_marks_.end()) {
        status &= static_cast<std::uint8_t>(~ST_TX_READY);
        if (--mark->second == 0) {
            hold_marks_.erase(mark);
            note_status_setup();
        }
    }
    return static_cast<std::uint8_t>((status & ~force_mask_) | (force_value_ & force_mask_));
}

void Controller::write_data(std::uint8_t byte)
{
    if (logging_)
        byte_log_.push(byte);
    ++bytes_written_;
    // Marks on bytes already gone by can never be seen again.
    if (!hold_marks_.empty()) {
        hold_marks_.erase(hold_marks_.begin(), hold_marks_.lower_bound(bytes_written_));
        note_status_setup();
    }

    switch (decoder_.feed(byte)) {
    case FrameDecoder::Verdict::Pending:
        break;
    case FrameDecoder::Verdict::Bad:
        ++bad_commands_;
        if (observer_)
            observer_->on_command(now_us_, nullptr);
        break;
    case FrameDecoder::Verdict::Good:
        if (sinks_.frames != nullptr)
            sinks_.frames(sinks_.user, index_, decoder_.frame().data());
        else if (logging_)
            frame_log_.push(decoder_.frame());
        ++commands_;
        if (observer_)
            observer_->on_command(now_us_, &decoder_.frame());
        execute(decoder_.frame());
        break;
    }
}

std::uint8_t Controller::read_data()
{
    if (outbound_.empty())
        return 0;
    std::uint8_t byte = outbound_.front();
    outbound_.pop_front();
    return byte;
}

// ---- Digital I/O and the reset line ------------------------------------------------------

void Controller::write_dio(std::uint8_t value)
{
    if (observer_ && value != dio_out_)
        observer_->on_outputs(now_us_, value);
    dio_out_ = value;
    events_not_before_us_ = 0;
    bool high = (value & DIO_RESET) != 0;
    if (high && !reset_line_high_) {
        reset_line_since_us_ = now_us_;
    } else if (!high && reset_line_high_) {
        // Held time as the host's millisecond clock would count it.
        std::uint64_t held_ms = now_us_ / 1000 - reset_line_since_us_ / 1000;
        if (held_ms >= kResetHoldMs)
            hardware_reset();
    }
    reset_line_high_ = high;
}

void Controller::hardware_reset()
{
    ++resets_;
    if (observer_)
        observer_->on_reset(now_us_);
    stop_motion();
    decoder_.reset();
    // Positions, settings and bytes waiting for the host survive.
}

void Controller::stop_motion()
{
    events_not_before_us_ = 0;
    slices_.clear();
    queued_pulses_ = {};
    slice_running_ = false;
    slice_moving_ = 0;
    for (Axis& a : axes_)
        a.motion.stop();
    note_axes_moving();
}

// ---- Commands ------------------------------------------------------------------------------

Controller::Axis* Controller::axis_at(std::uint32_t axis)
{
    return (axis >= 1 && axis <= 3) ? &axes_[axis - 1] : nullptr;
}

const Controller::Axis* Controller::axis_at(std::uint32_t axis) const
{
    return (axis >= 1 && axis <= 3) ? &axes_[axis - 1] : nullptr;
}

void Controller::execute(const Frame& f)
{
    const std::uint8_t cmd = f[kCmd];
    auto p = [&f](std::size_t n) -> std::uint32_t { return f[kP1 + n - 1]; };

    if (cmd == kCmdSystemReset2 && previous_cmd_ == kCmdSystemReset1)
        ++system_resets_;
    previous_cmd_ = cmd;
    last_cmd_code_ = cmd;
    events_not_before_us_ = 0; // a command may start or end timed work

    switch (cmd) {
    case kCmdLinkTest:
        for (std::uint8_t b : link_test_offer_)
            outbound_.push_back(b);
        link_test_offer_.clear();
        if (link_answers_ && !silent_ && p(1) == kLinkTestReply[0] && p(2) == kLinkTestReply[1] &&
            p(3) == kLinkTestReply[2])
            for (std::uint8_t b : kLinkTestReply)
                outbound_.push_back(b);
        break;

    case kCmdBackHome:
        if (Axis* a = axis_at(p(1) & 3)) {
            a->last_cmd = cmd;
            a->last_home1 = p(2);
            a->last_home2 = p(3);
            start_axis_motion(cmd, *a, f);
        }
        break;

    case kCmdBackHome01:
        if (Axis* a = axis_at(p(1) & 3)) {
            a->last_cmd = cmd;
            a->last_home1 = p(2);
            start_axis_motion(cmd, *a, f);
        }
        break;

    case kCmdPulseMove:
        if (Axis* a = axis_at(p(1) & 3)) {
            bool negative = (p(1) & 0x10) != 0;
            std::uint32_t magnitude = be32(f, kP1 + 1);
            a->last_cmd = cmd;
            a->last_pulses = static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
            a->last_speed = be16(f, kP1 + 5);
            a->last_dir = negative ? 1 : 0;
            start_axis_motion(cmd, *a, f);
        }
        break;

    case kCmdConstantSpeed:
        if (Axis* a = axis_at(p(1) & 3)) {
            a->last_cmd = cmd;
            a->last_dir = (p(1) >> 4) & 1;
            a->last_speed = be16(f, kP1 + 1);
            start_axis_motion(cmd, *a, f);
        }
        break;

    case kCmdIntpPulse: {
        std::array<std::int32_t, 3> pulses{};
        for (std::size_t i = 0; i < 3; ++i) {
            pulses[i] = slice_pulses(f, kP1 + 2 * i);
            axes_[i].intp_pulses += pulses[i];
        }
        ++intp_frames_;
        if (estop_latched_) {
            break; // taken and counted; the emergency stop lets nothing move
        } else if (timing_.slice_period_us == 0) {
            apply_slice(pulses); // an ideal controller: at once
        } else {
            slices_.push_back(pulses);
            for (std::size_t i = 0; i < 3; ++i)
                queued_pulses_[i] += pulses[i];
            if (!slice_running_)
                start_next_slice();
        }
        break;
    }

    case kCmdSetControlMode:
        for (std::uint32_t i = 0; i < 3; ++i)
            axes_[i].mode = p(1 + i);
        break;

    case kCmdSetVar:
        card_var_ = p(1);
        accel_ = p(2);
        start_speed_ = be16(f, kP1 + 2);
        high_speed_ = be16(f, kP1 + 4);
        break;

    case kCmdSetDefDir:
        for (std::uint32_t i = 0; i < 3; ++i)
            axes_[i].defdir = (p(1) >> i) & 1;
        break;

    case kCmdSetServoOn:
        for (std::uint32_t i = 0; i < 3; ++i)
            axes_[i].servo_on = (p(1) >> i) & 1;
        break;

    case kCmdSetZero:
        if (Axis* a = axis_at(p(1)))
            set_origin_here(*a, 0); // the machine stays where it is
        break;

    case kCmdPresetPosition:
        if (Axis* a = axis_at(p(1)))
            set_origin_here(*a, static_cast<std::int32_t>(be32(f, kP1 + 1)));
        break;

    case kCmdSetNc:
        nc_ = p(1);
        break;

    case kCmdStop:
        if (Axis* a = axis_at(p(1))) {
            a->last_cmd = cmd;
            a->motion.stop();
        }
        break;

    case kCmdDecStop:
        if (Axis* a = axis_at(p(1))) {
            a->last_cmd = cmd;
            a->motion.decelerate();
        }
        break;

    default:
        break; // taken and recorded; no effect on the model
    }
    note_axes_moving();
}

} // namespace korva::sim
