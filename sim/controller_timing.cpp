// controller_timing.cpp - the controller in virtual time: the slice queue, single-axis
// motion, limit and home switches, unasked status reports and injected faults.
//
// Events happen by themselves as time passes: the end of an interpolation slice (every
// slice period while slices wait), a millisecond step of single-axis motion (while an
// axis runs) and a status report (every status period). advance_to() runs them in
// time order up to "now"; nothing runs between the host's accesses.
#include <algorithm>

#include "controller.h"
#include "port/card_regs.h"
#include "wrap32.h"

namespace korva::sim {

namespace {

// Status reports are dropped while this many bytes wait unread (the host is not polling).
constexpr std::size_t kOutboundCap = 1024;

constexpr std::uint8_t kMovingBit[3] = {ST_X_MOVING, ST_Y_MOVING, ST_Z_MOVING};

void put_be32(std::uint8_t* at, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    at[0] = static_cast<std::uint8_t>(v >> 24);
    at[1] = static_cast<std::uint8_t>(v >> 16);
    at[2] = static_cast<std::uint8_t>(v >> 8);
    at[3] = static_cast<std::uint8_t>(v);
}

} // namespace

// ---- Settings and faults ----------------------------------------------------------------

void Controller::set_timing(const TimingSettings& timing)
{
    timing_ = timing;
    timing_.queue_size = std::clamp<std::uint32_t>(timing_.queue_size, 1, 65536);
    slices_.reserve(timing_.queue_size);
    events_not_before_us_ = 0;
    next_status_us_ = timing_.status_period_ms ? now_us_ + timing_.status_period_ms * 1000ull
                                               : kNever;
}

void Controller::set_limits(std::uint32_t axis, std::int32_t low, std::int32_t high)
{
    if (Axis* a = axis_at(axis)) {
        a->limit_low = low;
        a->limit_high = high;
    }
}

void Controller::set_home(std::uint32_t axis, std::int32_t position)
{
    if (Axis* a = axis_at(axis))
        a->home = position;
}

void Controller::fault(std::uint32_t kind, std::uint32_t n)
{
    switch (kind) {
    case 0: // none
        silent_ = never_ready_ = stall_pending_ = false;
        corrupt_left_ = 0;
        break;
    case 1: silent_ = true; break;
    case 2: stall_pending_ = true; stall_bytes_ = std::min<std::uint32_t>(n, 31); break;
    case 3: corrupt_left_ = n; break;
    case 4: never_ready_ = true; break;
    default: break;
    }
}

std::int32_t Controller::position(std::uint32_t axis) const
{
    const Axis* a = axis_at(axis);
    return a ? a->position : 0;
}

std::uint32_t Controller::take_motion(std::int32_t* out, std::uint32_t max)
{
    return static_cast<std::uint32_t>(motion_log_.take(max, [out](const MotionRecord& r, std::size_t i) {
        if (out != nullptr) {
            out[4 * i + 0] = r.time_ms;
            out[4 * i + 1] = r.x;
            out[4 * i + 2] = r.y;
            out[4 * i + 3] = r.z;
        }
    }));
}

std::int32_t Controller::Axis::machine_at() const
{
    return wrap_add(origin, position);
}

// ---- Time -------------------------------------------------------------------------------

// The axis stays where it is on the machine and its position becomes `position`. A
// change is recorded as KSIM_MOVED_BY_ORIGIN: the coordinates moved, not the axis.
void Controller::set_origin_here(Axis& a, std::int32_t position)
{
    const std::int32_t before = a.position;
    a.origin = static_cast<std::int32_t>(static_cast<std::uint32_t>(a.origin) +
                                         static_cast<std::uint32_t>(a.position) -
                                         static_cast<std::uint32_t>(position));
    a.position = position;
    if (before != position) {
        moved_by_ = KSIM_MOVED_BY_ORIGIN;
        record_motion();
    }
}

void Controller::note_axes_moving()
{
    axes_moving_ = 0;
    for (std::size_t i = 0; i < 3; ++i)
        if (axes_[i].motion.active())
            axes_moving_ |= kMovingBit[i];
}

bool Controller::any_axis_motion() const
{
    return std::any_of(axes_.begin(), axes_.end(), [](const Axis& a) { return a.motion.active(); });
}

std::uint64_t Controller::next_event_us() const
{
    std::uint64_t next = next_status_us_;
    if (slice_running_)
        next = std::min(next, slice_end_us_);
    if (any_axis_motion())
        next = std::min(next, next_tick_us_);
    return next;
}

void Controller::run_due_events(std::uint64_t now_us)
{
    for (;;) {
        const std::uint64_t t = next_event_us();
        if (t > now_us) {
            events_not_before_us_ = t;
            break;
        }
        now_us_ = std::max(now_us_, t);
        run_events_at(t);
    }
    now_us_ = std::max(now_us_, now_us);
}

void Controller::run_events_at(std::uint64_t t)
{
    if (slice_running_ && slice_end_us_ == t) {
        slice_running_ = false;
        slice_moving_ = 0;
        start_next_slice();
    }
    if (any_axis_motion() && next_tick_us_ == t) {
        tick_axes();
        next_tick_us_ = t + 1000;
    }
    if (next_status_us_ == t) {
        emit_status();
        next_status_us_ = t + timing_.status_period_ms * 1000ull;
    }
}

// ---- Interpolation slices -------------------------------------------------------------------

void Controller::start_next_slice()
{
    if (slices_.empty())
        return;
    const std::array<std::int32_t, 3> pulses = slices_.front();
    slices_.pop_front();
    for (std::size_t i = 0; i < 3; ++i)
        queued_pulses_[i] -= pulses[i];
    slice_running_ = true;
    slice_end_us_ = now_us_ + timing_.slice_period_us;
    slice_moving_ = 0;
    for (std::size_t i = 0; i < 3; ++i)
        if (pulses[i] != 0)
            slice_moving_ |= kMovingBit[i];
    apply_slice(pulses);
}

void Controller::apply_slice(const std::array<std::int32_t, 3>& pulses)
{
    for (std::size_t i = 0; i < 3; ++i)
        if (pulses[i] != 0)
            move_axis(i, pulses[i]);
    moved_by_ = KSIM_MOVED_BY_SLICE;
    record_motion();
}

// ---- Single-axis motion ------------------------------------------------------------------------

SpeedParams Controller::speed_params() const
{
    SpeedParams p;
    p.accel = std::max<std::uint32_t>(accel_, 1);
    p.start_speed = std::max<std::uint32_t>(start_speed_, 1);
    p.high_speed = std::max<std::uint32_t>(high_speed_, 1);
    return p;
}

// A servo axis (mode byte not 0) moves only with its servo on; a stepper always.
bool Controller::axis_may_move(const Axis& a) const
{
    return a.mode == 0 || a.servo_on != 0;
}

void Controller::start_axis_motion(std::uint32_t cmd, Axis& a, const Frame& f)
{
    if (!axis_may_move(a) || estop_latched_)
        return;
    const SpeedParams params = speed_params();
    // The default-direction flag turns the sense of the axis's own moves around.
    const int sense = a.defdir ? -1 : 1;
    const bool negative = (f[kP1] & 0x10) != 0;
    const std::uint32_t speed = static_cast<std::uint32_t>(f[kP1 + 5]) << 8 | f[kP1 + 6];

    const bool ticking = any_axis_motion();
    switch (cmd) {
    case kCmdPulseMove: {
        const std::uint64_t distance = static_cast<std::uint64_t>(f[kP1 + 1]) << 24 |
                                       static_cast<std::uint64_t>(f[kP1 + 2]) << 16 |
                                       static_cast<std::uint64_t>(f[kP1 + 3]) << 8 | f[kP1 + 4];
        a.motion.start_move((negative ? -1 : 1) * sense, distance, speed, params);
        break;
    }
    case kCmdConstantSpeed: {
        const std::uint32_t constant = static_cast<std::uint32_t>(f[kP1 + 1]) << 8 | f[kP1 + 2];
        a.motion.start_constant((negative ? -1 : 1) * sense, constant, params);
        break;
    }
    case kCmdBackHome:
    case kCmdBackHome01: {
        const std::int64_t at = a.machine_at();
        const std::int64_t gap = static_cast<std::int64_t>(a.home) - at;
        if (gap == 0) {
            set_origin_here(a, 0); // already on the switch: this is the origin
        } else {
            a.motion.start_home(gap < 0 ? -1 : 1, static_cast<std::uint64_t>(gap < 0 ? -gap : gap),
                                params);
        }
        break;
    }
    default:
        break;
    }
    if (!ticking && a.motion.active())
        next_tick_us_ = (now_us_ / 1000 + 1) * 1000; // from the next millisecond on
}

void Controller::tick_axes()
{
    const SpeedParams params = speed_params();
    bool moved = false;
    std::array<bool, 3> home_found{};
    for (std::size_t i = 0; i < 3; ++i) {
        Axis& a = axes_[i];
        if (!a.motion.active())
            continue;
        const bool homing = a.motion.kind() == AxisMotion::Kind::Home;
        if (homing && (a.held & kHandHome)) {
            a.motion.stop(); // the home switch pressed by hand: here is the origin
            set_origin_here(a, 0);
            moved = true;
            continue;
        }
        const std::int32_t step = a.motion.tick(params);
        if (step != 0) {
            moved = true;
            if (!move_axis(i, step))
                a.motion.stop();
        }
        home_found[i] = homing && !a.motion.active() && a.machine_at() == a.home;
    }
    if (moved) {
        moved_by_ = KSIM_MOVED_BY_AXIS;
        record_motion();
    }
    for (std::size_t i = 0; i < 3; ++i)
        if (home_found[i])
            set_origin_here(axes_[i], 0); // the home switch is the new origin
    note_axes_moving();
}

// Moves axis i by `pulses`, stopping at a limit switch. False when a switch stopped it.
bool Controller::move_axis(std::size_t i, std::int32_t pulses)
{
    Axis& a = axes_[i];
    if ((pulses < 0 && (a.held & kHandLimitLow)) || (pulses > 0 && (a.held & kHandLimitHigh)))
        return false; // a limit switch held by hand
    const std::int64_t at = a.machine_at();
    std::int64_t to = at + pulses;
    bool free = true;
    if (a.limit_low <= a.limit_high) {
        if (pulses < 0 && to < a.limit_low) {
            to = std::min<std::int64_t>(at, a.limit_low);
            free = false;
        } else if (pulses > 0 && to > a.limit_high) {
            to = std::max<std::int64_t>(at, a.limit_high);
            free = false;
        }
    }
    a.position = wrap_add(a.position, static_cast<std::int32_t>(to - at));
    if (!free && observer_)
        observer_->on_limit(now_us_, i, a.position);
    return free;
}

// Bit 2k: axis k at or below its low switch; bit 2k+1: at or above its high switch.
std::uint8_t Controller::limit_byte() const
{
    std::uint8_t bits = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const Axis& a = axes_[i];
        bits |= static_cast<std::uint8_t>((a.held & (kHandLimitLow | kHandLimitHigh)) << (2 * i));
        if (a.limit_low > a.limit_high)
            continue;
        const std::int32_t at = a.machine_at();
        if (at <= a.limit_low)
            bits |= static_cast<std::uint8_t>(1u << (2 * i));
        if (at >= a.limit_high)
            bits |= static_cast<std::uint8_t>(2u << (2 * i));
    }
    return bits;
}

void Controller::record_motion()
{
    if (sinks_.motion != nullptr) {
        sinks_.motion(sinks_.user, index_, now_us_, axes_[0].position, axes_[1].position,
                      axes_[2].position, moved_by_);
        return;
    }
    motion_log_.push(MotionRecord{static_cast<std::int32_t>(now_us_ / 1000), axes_[0].position,
                                  axes_[1].position, axes_[2].position});
    if (observer_)
        observer_->on_motion(now_us_, axes_[0].position, axes_[1].position, axes_[2].position);
}

// ---- Status reports ----------------------------------------------------------------------------
// sys: ST_BUSY and the moving bits as in STATUS_REG; limit: limit_byte(); P1: the digital
// inputs; bytes 3-4: slices waiting (big-endian), 5: code of the last command, 6: 0.
// Values: xc, yc, zc the commanded positions; xp, yp, zp the feedback, which follows
// one report behind (where the axis stood at the previous report).

void Controller::emit_status()
{
    if (silent_ || outbound_.size() > kOutboundCap)
        return;
    std::uint8_t frame[32] = {};
    frame[0] = static_cast<std::uint8_t>(model_status() & (ST_BUSY | ST_X_MOVING | ST_Y_MOVING | ST_Z_MOVING));
    frame[1] = limit_byte();
    frame[2] = inputs_;
    const auto waiting = static_cast<std::uint32_t>(std::min<std::size_t>(slices_.size(), 0xFFFF));
    frame[3] = static_cast<std::uint8_t>(waiting >> 8);
    frame[4] = static_cast<std::uint8_t>(waiting);
    frame[5] = static_cast<std::uint8_t>(last_cmd_code_);
    for (std::size_t i = 0; i < 3; ++i) {
        put_be32(&frame[7 + 8 * i], axes_[i].position);
        put_be32(&frame[11 + 8 * i], last_report_[i]);
        last_report_[i] = axes_[i].position;
    }
    std::uint8_t check = 0;
    for (int i = 0; i < 31; ++i)
        check ^= frame[i];
    if (corrupt_left_ > 0) {
        --corrupt_left_;
        check = static_cast<std::uint8_t>(~check);
    }
    frame[31] = check;

    std::size_t length = sizeof frame;
    if (stall_pending_) {
        stall_pending_ = false;
        length = stall_bytes_;
    }
    if (observer_)
        observer_->on_status(now_us_, frame, length);
    outbound_.push_back(0x55);
    outbound_.push_back(0xAA);
    for (std::size_t i = 0; i < length; ++i)
        outbound_.push_back(frame[i]);
}

} // namespace korva::sim
