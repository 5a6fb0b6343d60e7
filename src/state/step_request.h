/*
 * step_request.h - STEP_REQUEST, the saved stepwise interpolation request (replayed by
 * interp/stepwise.cpp's dispatcher).
 */
#ifndef KORVA_STEP_REQUEST_H
#define KORVA_STEP_REQUEST_H

#include <atomic>
#include <stdint.h>

/* Kinds of request (step_mode). */
enum { STEP_NONE = 0, STEP_XYZ = 1, STEP_LINE = 2, STEP_CIRCLE = 3, STEP_ARC = 4 };

struct STEP_REQUEST {
    std::atomic<uint8_t> step_mode; /* kind of the saved request, 0 = none */
    uint8_t  card;
    uint8_t  plane;       /* 1 X-Y, 2 X-Z, 3 Y-Z */
    int32_t  value1;      /* dx / du / center_u / end_u (pulses) */
    int32_t  value2;      /* dy / dv / center_v / end_v (pulses) */
    int32_t  value3;      /* dz (pulses) */
    int32_t  value4;      /* arc radius (pulses) */
    uint8_t  direction;   /* circles and arcs: 0 clockwise, other counter-clockwise */
    uint32_t speed;       /* cap, pulses of path per slice */
    uint8_t  no_ramp;     /* 0 trapezoidal profile, other constant step */
};

extern STEP_REQUEST step_request;

/* Ends any saved request. Every command function but KORVA3_INTP_PULSE calls it first. */
static inline void clear_step_mode(void)
{
    step_request.step_mode.store(STEP_NONE, std::memory_order_relaxed);
}

/* Zeroes every field, as at load. */
void step_request_clear(void);

#endif
