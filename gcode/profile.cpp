// profile.cpp - counting the slices of the library's speed profile: the ramps slice by
// slice (at most a few thousand), the run at the cap at once, so a move of 2^31 pulses
// at 1 pulse per slice is counted as fast as a short one.
#include "gcode/profile.h"

namespace korva3_gcode {

uint64_t profile_slices(uint64_t length, uint32_t speed, uint32_t accel, uint32_t start_speed)
{
    const uint64_t a = accel, s = start_speed, cap = speed;
    uint64_t remaining = length, step = 0, n = 0;
    bool down = false;
    for (;;) {
        n++;
        if (length < 4 * s) {
            if (remaining < s)
                return n;
            step = s;
        } else {
            if (down || remaining <= (step + a) * (step + a) / (2 * a)) {
                down = true;
                uint64_t q = step * step / (2 * remaining);
                step = step - q < a || q > step ? a : step - q;
            } else if (step < cap) {
                step = step + a < cap ? step + a : cap;
            } else {
                // At the cap, nothing changes until the ramp down is due: the slices
                // until then are counted at once (this one and `more` after it).
                const uint64_t due = (cap + a) * (cap + a) / (2 * a); // >= cap
                const uint64_t more = (remaining - due - 1) / cap;
                n += more;
                remaining -= more * cap;
            }
        }
        if (remaining <= step)
            return n;
        remaining -= step;
    }
}

} // namespace korva3_gcode
