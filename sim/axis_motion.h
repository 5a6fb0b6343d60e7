// axis_motion.h - the single-axis motion of one axis (relative move, constant speed,
// homing, stops), stepped once per virtual millisecond.
//
// Units: speeds in pulses per millisecond, accel in pulses per millisecond per
// millisecond. A move starts at start_speed, climbs by accel per ms to its speed, and
// brakes by accel per ms so that it arrives at its target at no more than start_speed.
#ifndef KORVA_SIM_AXIS_MOTION_H
#define KORVA_SIM_AXIS_MOTION_H

#include <cstdint>

namespace korva::sim {

struct SpeedParams {
    std::uint32_t accel = 2;        // pulses/ms per ms (at least 1)
    std::uint32_t start_speed = 2;  // pulses/ms
    std::uint32_t high_speed = 100; // pulses/ms, homing speed
};

class AxisMotion {
public:
    enum class Kind { Idle, Move, Constant, Home };

    // direction: +1 or -1. A move of 0 pulses does nothing.
    void start_move(int direction, std::uint64_t distance, std::uint32_t speed,
                    const SpeedParams& p);
    void start_constant(int direction, std::uint32_t speed, const SpeedParams& p);
    void start_home(int direction, std::uint64_t distance, const SpeedParams& p);
    void stop() { kind_ = Kind::Idle; speed_ = 0; braking_ = false; }
    void decelerate() { if (kind_ != Kind::Idle) braking_ = true; }

    bool active() const { return kind_ != Kind::Idle; }
    Kind kind() const { return kind_; }
    std::uint32_t speed() const { return speed_; }
    // Signed pulses a move has still to go (0 for other kinds: they have no end point).
    std::int64_t to_go() const
    {
        return kind_ == Kind::Move ? direction_ * static_cast<std::int64_t>(left_) : 0;
    }

    // Signed pulses this millisecond; speed and distance left are updated.
    std::int32_t tick(const SpeedParams& p);

private:
    void start(Kind kind, int direction, std::uint64_t distance, std::uint32_t speed,
               const SpeedParams& p);

    Kind kind_ = Kind::Idle;
    int direction_ = 1;
    std::uint64_t left_ = 0;     // pulses to go (moves and homing)
    std::uint32_t target_ = 0;   // speed to reach
    std::uint32_t speed_ = 0;    // speed of the last millisecond
    bool braking_ = false;       // decelerating stop under way
};

} // namespace korva::sim

#endif
