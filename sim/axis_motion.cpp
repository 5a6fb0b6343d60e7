// axis_motion.cpp - trapezoidal single-axis motion in one-millisecond steps.
#include "axis_motion.h"

#include <algorithm>

namespace korva::sim {

void AxisMotion::start(Kind kind, int direction, std::uint64_t distance, std::uint32_t speed,
                       const SpeedParams& p)
{
    if (speed == 0 || ((kind == Kind::Move || kind == Kind::Home) && distance == 0)) {
        stop();
        return;
    }
    kind_ = kind;
    direction_ = direction < 0 ? -1 : 1;
    left_ = distance;
    target_ = speed;
    braking_ = false;
    (void)p; // a new command on a running axis carries on from its present speed
}

void AxisMotion::start_move(int direction, std::uint64_t distance, std::uint32_t speed,
                            const SpeedParams& p)
{
    start(Kind::Move, direction, distance, speed, p);
}

void AxisMotion::start_constant(int direction, std::uint32_t speed, const SpeedParams& p)
{
    start(Kind::Constant, direction, 0, speed, p);
}

void AxisMotion::start_home(int direction, std::uint64_t distance, const SpeedParams& p)
{
    start(Kind::Home, direction, distance, p.high_speed, p);
}

std::int32_t AxisMotion::tick(const SpeedParams& p)
{
    if (kind_ == Kind::Idle)
        return 0;
    const std::uint32_t accel = std::max<std::uint32_t>(p.accel, 1);
    const std::uint32_t floor_speed = std::min(std::max<std::uint32_t>(p.start_speed, 1), target_);

    if (braking_) {
        speed_ = speed_ > accel ? speed_ - accel : 0;
        if (speed_ == 0) {
            stop();
            return 0;
        }
    } else if (speed_ == 0) {
        speed_ = floor_speed;
    } else {
        const bool bounded = kind_ != Kind::Constant;
        const std::uint64_t brake = static_cast<std::uint64_t>(speed_) * speed_ / (2ull * accel);
        if (bounded && brake >= left_)
            speed_ = std::max(floor_speed, speed_ > accel ? speed_ - accel : 0u);
        else if (speed_ < target_)
            speed_ = std::min(target_, speed_ + accel);
        else if (speed_ > target_)
            speed_ = std::max(target_, speed_ > accel ? speed_ - accel : 0u);
    }

    std::uint64_t step = speed_;
    if (kind_ != Kind::Constant) {
        step = std::min<std::uint64_t>(step, left_);
        left_ -= step;
        if (left_ == 0) {
            kind_ = Kind::Idle;
            speed_ = 0;
        }
    }
    return direction_ * static_cast<std::int32_t>(step);
}

} // namespace korva::sim
