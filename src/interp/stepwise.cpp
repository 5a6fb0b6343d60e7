/*
 * stepwise.cpp - stepwise interpolation: the 02 request functions, the dispatcher that
 * replays the saved request against its engine, KORVA3_INTP_STOP and
 * KORVA3_INTP_ONLINE_SETSPEED.
 *
 * A request saves the path and sets it up (nothing is sent). Each later
 * KORVA3_INTP_STOP, KORVA3_INTP_ONLINE_SETSPEED or KORVA3_GET_CARD sends slices until
 * the card makes the library wait for a frame, or the path ends. Every other command
 * function ends the request.
 */
#include "interp/engines.h"
#include "interp/step_dispatch.h"
#include "state/card_table.h"
#include "state/step_request.h"

uint8_t INTP_DISPATCH(void)
{
    const STEP_REQUEST &r = step_request;
    uint8_t result;
    switch (r.step_mode.load(std::memory_order_relaxed)) {
    case STEP_XYZ:
        result = INTP_XYZ_STEP(r.card, r.value1, r.value2, r.value3, r.speed, r.no_ramp);
        break;
    case STEP_LINE:
        result = INTP_LINE_STEP(r.card, r.plane, r.value1, r.value2, r.speed, r.no_ramp);
        break;
    case STEP_CIRCLE:
        result = INTP_CIRCLE_STEP(r.card, r.plane, r.value1, r.value2, r.direction, r.speed,
                                  r.no_ramp);
        break;
    case STEP_ARC:
        result = INTP_ARC_STEP(r.card, r.plane, r.value1, r.value2, r.value4, r.direction,
                               r.speed, r.no_ramp);
        break;
    default:
        intp.engine_phase = ENGINE_SETUP;
        return 0; /* no request saved */
    }
    if (result == 0) {
        intp.engine_phase = ENGINE_SETUP;
        clear_step_mode();
        return 0;
    }
    return 1;
}

/* A request with speed 0 could never advance, and one for a card number that is not
 * bound has no card: both are refused like an empty path, ending any saved request. */
static int request_refused(uint32_t card, uint32_t speed)
{
    if (speed != 0 && bound_card(card))
        return 0;
    clear_step_mode();
    intp.engine_phase = ENGINE_SETUP;
    return 1;
}

/* Saves the common fields, then sets the path up through the dispatcher. */
static uint32_t start_request(uint8_t mode, uint32_t card, uint32_t speed, uint32_t no_ramp)
{
    step_request.card = (uint8_t)card;
    step_request.speed = speed;
    step_request.no_ramp = (uint8_t)no_ramp;
    step_request.step_mode.store(mode, std::memory_order_relaxed);
    intp.engine_phase = ENGINE_SETUP;
    return INTP_DISPATCH();
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_XYZ02(uint32_t card, int32_t dx,
                                                            int32_t dy, int32_t dz,
                                                            uint32_t speed, uint32_t no_ramp)
{
    if (request_refused(card, speed))
        return 0;
    step_request.value1 = dx;
    step_request.value2 = dy;
    step_request.value3 = dz;
    return start_request(STEP_XYZ, card, speed, no_ramp);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_LINE02(uint32_t card, uint32_t plane,
                                                             int32_t du, int32_t dv,
                                                             uint32_t speed, uint32_t no_ramp)
{
    if (request_refused(card, speed))
        return 0;
    step_request.plane = (uint8_t)plane;
    step_request.value1 = du;
    step_request.value2 = dv;
    return start_request(STEP_LINE, card, speed, no_ramp);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_CIRCLE02(uint32_t card, uint32_t plane,
                                                               int32_t center_u,
                                                               int32_t center_v,
                                                               uint32_t direction,
                                                               uint32_t speed, uint32_t no_ramp)
{
    if (request_refused(card, speed))
        return 0;
    step_request.plane = (uint8_t)plane;
    step_request.value1 = center_u;
    step_request.value2 = center_v;
    step_request.direction = (uint8_t)direction;
    return start_request(STEP_CIRCLE, card, speed, no_ramp);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_ARC02(uint32_t card, uint32_t plane,
                                                            int32_t end_u, int32_t end_v,
                                                            int32_t radius, uint32_t direction,
                                                            uint32_t speed, uint32_t no_ramp)
{
    if (request_refused(card, speed))
        return 0;
    step_request.plane = (uint8_t)plane;
    step_request.value1 = end_u;
    step_request.value2 = end_v;
    step_request.value4 = radius;
    step_request.direction = (uint8_t)direction;
    return start_request(STEP_ARC, card, speed, no_ramp);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_STOP(void)
{
    INTP_DISPATCH();
    return step_request.step_mode.load(std::memory_order_relaxed) != STEP_NONE ? 1 : 0;
}

/* A new cap of 0 is taken as 1: the path slows down (by accel per slice under the
 * trapezoidal profile) to a crawl of one pulse of path per slice instead of stalling,
 * so a pump loop never spins forever on a path that cannot advance, and no pulse of
 * the path is dropped. To stop, send KORVA3_DEC_STOP or KORVA3_EMG_STOP. */
extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_ONLINE_SETSPEED(uint32_t speed)
{
    step_request.speed = speed == 0 ? 1 : speed;
    return INTP_DISPATCH();
}
