/*
 * profile.cpp - PROFILE_STEP and CONST_STEP.
 *
 *   step
 *    ^            cruise at max_step
 *    |         +----------------------+
 *    |        /                        \      ramp down: step -= step^2 / (2 remaining),
 *    |       /  ramp up: +accel         \     never below accel; the last slice takes
 *    |      /   per slice                \    what is left
 *    |     /                              +-+
 *    +----+-----------------------------------+---> slice
 *
 * A path shorter than 4 x start_speed runs at the constant step start_speed instead.
 *
 * Arithmetic is unsigned integer with flooring division, as the card's timing was
 * tuned for. The ramp-down terms are formed in 64 bits so paths of 2^31 pulses and
 * more (where 2 x remaining no longer fits 32 bits) ramp down like shorter ones; below
 * that the results are those of 32-bit arithmetic.
 */
#include "interp/profile.h"

#include "state/intp_state.h"
#include "state/motion_vars.h"

/* The last slice takes what is left; otherwise the step is taken off remaining. */
static void account_step(void)
{
    if (intp.remaining > intp.step) {
        intp.remaining -= intp.step;
    } else {
        intp.step = intp.remaining;
        intp.remaining = 0;
        intp.phase = PHASE_FINISHED;
    }
}

void PROFILE_STEP(uint32_t max_step)
{
    const uint32_t a = motion_vars.accel;
    const uint32_t s = motion_vars.start_speed;

    /* Short path: constant step s. (4 x s stays far below 2^32: s <= 500.) */
    if (intp.total_length < 4 * s) {
        if (intp.remaining < s) {
            intp.step = intp.remaining;
            intp.remaining = 0;
            intp.phase = PHASE_FINISHED;
            return;
        }
        intp.step = s;
        account_step();
        return;
    }

    const uint64_t step = intp.step;
    const uint64_t rem = intp.remaining;
    if (intp.decelerating || rem <= (step + a) * (step + a) / (2 * a)) {
        intp.decelerating = 1;
        int64_t next = (int64_t)step - (int64_t)(step * step / (2 * rem));
        intp.step = next < (int64_t)a ? a : (uint32_t)next;
    } else if (intp.step < max_step) {
        intp.step = intp.step + a < max_step ? intp.step + a : max_step;
    } else if (intp.step > max_step) {
        /* The cap was lowered while the path runs: fall by a per slice to it. */
        if (intp.step > a)
            intp.step -= a;
        if (intp.step < max_step)
            intp.step = max_step;
    }
    account_step();
}

void CONST_STEP(uint32_t max_step)
{
    if (intp.remaining > max_step) {
        intp.step = max_step;
        intp.remaining -= max_step;
    } else {
        intp.step = intp.remaining;
        intp.remaining = 0;
        intp.phase = PHASE_FINISHED;
    }
}
