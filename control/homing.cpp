// homing.cpp - homing with the card's own homing command: each axis runs to its home
// switch (KORVA3_BACK_HOME), where the card counts 0; every axis: Z first (clear of the
// work), then X, then Y. The machine's zero on a homed axis is then the home switch.
#include <algorithm>
#include <cmath>

#include "control/controller_impl.h"
#include "korva3.h"

namespace korva3_control {

namespace {

const char kAxisName[] = "XYZ";
const uint32_t kMovingBit[] = {KORVA3_ST_X_MOVING, KORVA3_ST_Y_MOVING, KORVA3_ST_Z_MOVING};

// Looks in a row that must find an axis at rest before its homing counts as ended (as
// KORVA3_WAIT_X looks twice).
constexpr int kIdleLooks = 2;

// The card's speeds are pulses per slice: mm/min at `scale` pulses per mm.
uint32_t card_speed(double mm_per_min, double scale, uint32_t slice_us)
{
    const double v = mm_per_min / 60.0 * scale * slice_us / 1e6;
    return static_cast<uint32_t>(std::clamp(std::lround(v), 1L, 2040L));
}

} // namespace

void Controller::Impl::run_home(int axis)
{
    const korva3_gcode::Settings &s = opt.settings;
    std::vector<int> axes = axis >= 0 ? std::vector<int>{axis} : std::vector<int>{2, 0, 1};
    // Homing at half the slowest axis's highest speed, the card's ramps as the machine
    // file gives them (sent anew: an emergency stop resets the card's controller).
    uint32_t speed = 2040;
    for (int a = 0; a < 3; a++)
        speed = std::min(speed, card_speed(s.max_velocity[a] / 2, s.scale[a], s.slice_us));
    KORVA3_SET_VAR(opt.card, s.card_var, s.accel, s.start_speed, std::max(speed, s.start_speed), 0);
    state = State::Running;
    activity = Activity::Home;
    std::string done;
    for (int a : axes) {
        say(std::string("homing ") + kAxisName[a]);
        KORVA3_BACK_HOME(opt.card, static_cast<uint32_t>(a + 1), 0, 0);
        for (int idle = 0; idle < kIdleLooks;) {
            link.sleep_ms(kIdleTurnMs);
            if (hooks.poll)
                hooks.poll();
            if (estop_seen())
                return;
            take_requests_moving();
            if (stop_asked) {
                KORVA3_DEC_STOP(opt.card, static_cast<uint32_t>(a + 1));
                stop_asked = false;
            }
            const uint32_t st = KORVA3_MSC(opt.card);
            idle = (st & (KORVA3_ST_BUSY | kMovingBit[a])) ? 0 : idle + 1;
            read_machine();
            publish();
        }
        std::array<int32_t, 3> xyz{};
        link.position(opt.card, xyz);
        if (xyz[a] != 0) {
            state = State::Idle;
            activity = Activity::None;
            read_machine();
            fail(std::string("homing ") + kAxisName[a] + ": stopped before the home switch");
            return;
        }
        origin_pulses[a] = 0;
        homed[a] = true;
        done += std::string(done.empty() ? "" : ", ") + kAxisName[a];
    }
    state = State::Idle;
    activity = Activity::None;
    read_machine();
    say("homed " + done + ": home switch found, machine position 0");
}

} // namespace korva3_control
