/*
 * circle_arc.cpp - circles and arcs: set-up, the slice, the blocking forms
 * KORVA3_INTP_CIRCLE01/CIRCLE/ARC01/ARC and the engines INTP_CIRCLE_STEP and
 * INTP_ARC_STEP.
 *
 * Positions are relative to the start point, in pulses; u and v are the plane's first
 * and second axis. Each slice turns its step (pulses of path) into an angle on the
 * circle, moves the ideal point there, and sends each axis the whole pulses it owes.
 * The last slice snaps to the exact end point.
 *
 * pi, 2 pi and pi/2 are used to ten significant digits, as the card's path lengths were
 * always computed; every operation is a double rounded in the order written.
 */
#include <math.h>

#include "interp/engines.h"
#include "interp/profile.h"
#include "state/card_table.h"
#include "state/step_request.h"

static const double PI_10 = 3.141592654;
static const double TWO_PI_10 = 6.283185308;
static const double HALF_PI_10 = 1.570796327;

/* total_length is 32 bits: a longer path does not fit it. */
static const double LENGTH_LIMIT = 4294967296.0;

/* Angle of the vector (x, y): atan(y / x), plus pi for negative x; +-pi/2 on the v
 * axis (-pi/2 also for the zero vector). Lies in -pi/2 .. 3 pi/2; only its sine and
 * cosine are used. */
static double direction_angle(double x, double y)
{
    if (x != 0.0) {
        double a = atan(y / x);
        if (x < 0.0)
            a += PI_10;
        return a;
    }
    return y > 0.0 ? HALF_PI_10 : -HALF_PI_10;
}

static void start_profile(double length)
{
    intp.total_length = (uint32_t)length;
    intp.remaining = intp.total_length;
    intp.sent_u = intp.sent_v = 0;
    intp.step = 0;
    intp.decelerating = 0;
    intp.phase = PHASE_RUNNING;
}

/* Circle through the start point around (center_u, center_v). 0 = refused: centre at
 * the start point, or a circle longer than 2^32 pulses. */
static int circle_setup(int32_t center_u, int32_t center_v)
{
    if (center_u == 0 && center_v == 0)
        return 0;
    const double cu = (double)center_u, cv = (double)center_v;
    intp.path_radius = sqrt(cu * cu + cv * cv);
    const double length = intp.path_radius * TWO_PI_10;
    if (length >= LENGTH_LIMIT)
        return 0;
    intp.path_angle = direction_angle(-cu, -cv);
    start_profile(length);
    return 1;
}

/* Arc from the start point to (end_u, end_v). radius > 0: the arc of at most half a
 * turn; radius < 0: the complementary one. direction 0 = clockwise, other values are
 * taken as 1 (counter-clockwise), as the slices do. 0 = refused: radius 0, end point
 * farther than a diameter, or an arc longer than 2^32 pulses. */
static int arc_setup(int32_t end_u, int32_t end_v, int32_t radius, uint8_t direction)
{
    if (radius == 0)
        return 0;
    const double eu = (double)end_u, ev = (double)end_v;
    intp.path_radius = fabs((double)radius);
    intp.target_u = eu;
    intp.target_v = ev;
    const double h = 0.5 * sqrt(eu * eu + ev * ev);
    if (intp.path_radius < h)
        return 0;
    intp.central_angle = 2.0 * asin(h / intp.path_radius);

    /* The centre's side of the chord: right for (+, cw) and (-, ccw), else left. */
    const int ccw = direction != 0;
    const int right = (radius > 0) != ccw;
    intp.chord_radius_angle = (PI_10 - intp.central_angle) * (right ? 0.5 : -0.5);
    intp.chord_angle = direction_angle(eu, ev);

    const double sin_cra = sin(intp.chord_radius_angle);
    intp.arc_center_u = sin(intp.chord_angle) * sin_cra * intp.path_radius + eu * 0.5;
    intp.arc_center_v = ev * 0.5 - cos(intp.chord_angle) * sin_cra * intp.path_radius;
    intp.path_angle = direction_angle(-intp.arc_center_u, -intp.arc_center_v);

    const double angle = radius > 0 ? intp.central_angle : TWO_PI_10 - intp.central_angle;
    const double length = angle * intp.path_radius;
    if (length >= LENGTH_LIMIT)
        return 0;
    start_profile(length);
    return 1;
}

/* One slice on the circle around (center_u, center_v), ending at (end_u, end_v). */
static void curve_slice(uint32_t card, uint8_t plane, uint8_t direction, uint32_t speed,
                        uint8_t no_ramp, double center_u, double center_v, double end_u,
                        double end_v)
{
    if (no_ramp)
        CONST_STEP(speed);
    else
        PROFILE_STEP(speed);

    const double increment = (double)intp.step / intp.path_radius;
    const double angle = direction == 0 ? intp.path_angle - increment
                                        : intp.path_angle + increment;
    intp.ideal_u = cos(angle) * intp.path_radius + center_u;
    intp.ideal_v = sin(angle) * intp.path_radius + center_v;
    intp.path_angle = angle;
    if (intp.phase == PHASE_FINISHED) {
        intp.ideal_u = end_u;
        intp.ideal_v = end_v;
    }

    int32_t du = owed_pulses(intp.ideal_u, &intp.sent_u);
    int32_t dv = owed_pulses(intp.ideal_v, &intp.sent_v);
    send_plane_slice(card, plane, du, dv);
}

static void circle_slice(uint32_t card, uint8_t plane, int32_t center_u, int32_t center_v,
                         uint8_t direction, uint32_t speed, uint8_t no_ramp)
{
    curve_slice(card, plane, direction, speed, no_ramp, (double)center_u, (double)center_v,
                0.0, 0.0);
}

static void arc_slice(uint32_t card, uint8_t plane, uint8_t direction, uint32_t speed,
                      uint8_t no_ramp)
{
    curve_slice(card, plane, direction, speed, no_ramp, intp.arc_center_u, intp.arc_center_v,
                intp.target_u, intp.target_v);
}

/* ---- Blocking forms ------------------------------------------------------------------ */

/* Speed 0 would never let the path advance; an unbound card number has no card. */
static int blocking_refused(uint32_t card, uint32_t speed)
{
    return speed == 0 || !bound_card(card);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_INTP_CIRCLE01(uint32_t card, uint32_t plane,
                                                           int32_t center_u, int32_t center_v,
                                                           uint32_t direction, uint32_t speed)
{
    clear_step_mode();
    if (blocking_refused(card, speed))
        return;
    intp_enabled.store(1);
    if (!circle_setup(center_u, center_v))
        return;
    speed = clamp_speed(speed);
    blocking_run([&] {
        circle_slice(card, (uint8_t)plane, center_u, center_v, (uint8_t)direction, speed, 0);
    });
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_INTP_CIRCLE(uint32_t card, int32_t center_u,
                                                         int32_t center_v, uint32_t direction,
                                                         uint32_t speed)
{
    KORVA3_INTP_CIRCLE01(card, 1, center_u, center_v, direction, speed);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_INTP_ARC01(uint32_t card, uint32_t plane,
                                                        int32_t end_u, int32_t end_v,
                                                        int32_t radius, uint32_t direction,
                                                        uint32_t speed)
{
    clear_step_mode();
    if (blocking_refused(card, speed))
        return;
    intp_enabled.store(1);
    if (!arc_setup(end_u, end_v, radius, (uint8_t)direction))
        return;
    speed = clamp_speed(speed);
    blocking_run([&] { arc_slice(card, (uint8_t)plane, (uint8_t)direction, speed, 0); });
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_INTP_ARC(uint32_t card, int32_t end_u,
                                                      int32_t end_v, int32_t radius,
                                                      uint32_t direction, uint32_t speed)
{
    KORVA3_INTP_ARC01(card, 1, end_u, end_v, radius, direction, speed);
}

/* ---- Stepwise engines ---------------------------------------------------------------
 * Like the blocking forms they clamp the cap to the ceiling: a slice above 2047 pulses
 * on one axis would be refused by KORVA3_INTP_PULSE after being counted as sent, and
 * those pulses would be lost. */

uint8_t INTP_CIRCLE_STEP(uint32_t card, uint8_t plane, int32_t center_u, int32_t center_v,
                         uint8_t direction, uint32_t speed, uint8_t no_ramp)
{
    speed = clamp_speed(speed);
    if (intp.engine_phase == ENGINE_SETUP) {
        intp_enabled.store(1);
        if (!circle_setup(center_u, center_v))
            return 0;
        intp.engine_phase = ENGINE_RUNNING;
        return 1;
    }
    if (intp.engine_phase != ENGINE_RUNNING)
        return 0;
    return engine_run(
        [&] { circle_slice(card, plane, center_u, center_v, direction, speed, no_ramp); });
}

uint8_t INTP_ARC_STEP(uint32_t card, uint8_t plane, int32_t end_u, int32_t end_v,
                      int32_t radius, uint8_t direction, uint32_t speed, uint8_t no_ramp)
{
    speed = clamp_speed(speed);
    if (intp.engine_phase == ENGINE_SETUP) {
        intp_enabled.store(1);
        if (!arc_setup(end_u, end_v, radius, direction))
            return 0;
        intp.engine_phase = ENGINE_RUNNING;
        return 1;
    }
    if (intp.engine_phase != ENGINE_RUNNING)
        return 0;
    return engine_run([&] { arc_slice(card, plane, direction, speed, no_ramp); });
}
