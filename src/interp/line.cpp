/*
 * line.cpp - straight lines: the 3-axis and 2-axis engines, KORVA3_INTP_XYZ,
 * KORVA3_INTP_LINE01 and KORVA3_INTP_LINE.
 *
 * Each slice moves the ideal point to (target / path_length) x travelled and sends
 * every coordinate the whole pulses it owes; the last slice snaps to the exact target,
 * so the pulses add up to it.
 */
#include <math.h>

#include "interp/engines.h"
#include "interp/profile.h"
#include "state/card_table.h"
#include "state/step_request.h"

/* Sets a straight path up from the origin to (u, v[, w]). */
static void line_setup(int three_axes, int32_t du, int32_t dv, int32_t dw)
{
    intp.target_u = (double)du;
    intp.target_v = (double)dv;
    if (three_axes) {
        intp.target_w = (double)dw;
        intp.path_length = sqrt((intp.target_w * intp.target_w + intp.target_v * intp.target_v) +
                                intp.target_u * intp.target_u);
    } else {
        intp.path_length = sqrt(intp.target_v * intp.target_v + intp.target_u * intp.target_u);
    }
    /* At most sqrt(3) x 2^31 pulses: always fits. */
    intp.total_length = (uint32_t)intp.path_length;
    intp.remaining = intp.total_length;
    intp.sent_u = intp.sent_v = 0;
    if (three_axes)
        intp.sent_w = 0;
    intp.decelerating = 0;
    intp.step = 0;
    intp.travelled = 0;
    intp.phase = PHASE_RUNNING;
}

/* One slice of a straight path. three_axes: frames (u, v, w) as (X, Y, Z); otherwise
 * by plane. */
static void line_slice(uint32_t card, int three_axes, uint8_t plane, uint32_t speed,
                       uint8_t no_ramp)
{
    if (no_ramp)
        CONST_STEP(speed);
    else
        PROFILE_STEP(speed);
    intp.travelled += intp.step;

    const double travelled = (double)intp.travelled;
    if (intp.phase == PHASE_FINISHED) {
        intp.ideal_u = intp.target_u;
        intp.ideal_v = intp.target_v;
        if (three_axes)
            intp.ideal_w = intp.target_w;
    } else {
        intp.ideal_u = intp.target_u / intp.path_length * travelled;
        intp.ideal_v = intp.target_v / intp.path_length * travelled;
        if (three_axes)
            intp.ideal_w = intp.target_w / intp.path_length * travelled;
    }

    int32_t pu = owed_pulses(intp.ideal_u, &intp.sent_u);
    int32_t pv = owed_pulses(intp.ideal_v, &intp.sent_v);
    if (three_axes) {
        int32_t pw = owed_pulses(intp.ideal_w, &intp.sent_w);
        KORVA3_INTP_PULSE(card, pu, pv, pw);
    } else {
        send_plane_slice(card, plane, pu, pv);
    }
}

uint8_t INTP_XYZ_STEP(uint32_t card, int32_t dx, int32_t dy, int32_t dz, uint32_t speed,
                      uint8_t no_ramp)
{
    speed = clamp_speed(speed);
    if (intp.engine_phase == ENGINE_SETUP) {
        intp_enabled.store(1);
        if (dx == 0 && dy == 0 && dz == 0)
            return 0;
        line_setup(1, dx, dy, dz);
        intp.engine_phase = ENGINE_RUNNING;
        return 1;
    }
    if (intp.engine_phase != ENGINE_RUNNING)
        return 0;
    return engine_run([&] { line_slice(card, 1, 0, speed, no_ramp); });
}

uint8_t INTP_LINE_STEP(uint32_t card, uint8_t plane, int32_t du, int32_t dv, uint32_t speed,
                       uint8_t no_ramp)
{
    speed = clamp_speed(speed);
    if (intp.engine_phase == ENGINE_SETUP) {
        intp_enabled.store(1);
        if (du == 0 && dv == 0)
            return 0;
        line_setup(0, du, dv, 0);
        intp.engine_phase = ENGINE_RUNNING;
        return 1;
    }
    if (intp.engine_phase != ENGINE_RUNNING)
        return 0;
    return engine_run([&] { line_slice(card, 0, plane, speed, no_ramp); });
}

/* A speed cap of 0 would never let a path advance, and a card number that is not bound
 * has no card to move: the blocking forms return at once for both. */
static int blocking_refused(uint32_t card, uint32_t speed)
{
    return speed == 0 || !bound_card(card);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_INTP_XYZ(uint32_t card, int32_t dx, int32_t dy,
                                                      int32_t dz, uint32_t speed)
{
    clear_step_mode();
    if (blocking_refused(card, speed))
        return;
    intp.engine_phase = ENGINE_SETUP;
    while (INTP_XYZ_STEP(card, dx, dy, dz, speed, 0)) {
    }
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_INTP_LINE01(uint32_t card, uint32_t plane,
                                                         int32_t du, int32_t dv, uint32_t speed)
{
    clear_step_mode();
    if (blocking_refused(card, speed))
        return;
    intp_enabled.store(1);
    if (du == 0 && dv == 0)
        return;
    speed = clamp_speed(speed);
    line_setup(0, du, dv, 0);
    blocking_run([&] { line_slice(card, 0, (uint8_t)plane, speed, 0); });
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_INTP_LINE(uint32_t card, int32_t du, int32_t dv,
                                                       uint32_t speed)
{
    KORVA3_INTP_LINE01(card, 1, du, dv, speed);
}
