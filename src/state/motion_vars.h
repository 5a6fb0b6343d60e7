/*
 * motion_vars.h - MOTION_VARS, the one set of speed parameters shared by all cards.
 * Written by KORVA3_SET_VAR after its frame has gone out; the profile generator reads
 * accel and start_speed on every step.
 */
#ifndef KORVA_MOTION_VARS_H
#define KORVA_MOTION_VARS_H

#include <stdint.h>

struct MOTION_VARS {
    uint8_t  card_var;    /* 1..254, sent to the card only */
    uint8_t  accel;       /* 1..250: step change per slice while ramping (pulses/slice^2) */
    uint32_t start_speed; /* 1..500: step of short paths (pulses of path per slice) */
    uint32_t high_speed;  /* start_speed..2040 (pulses per slice), sent to the card only */
    uint32_t spare_var;   /* kept, not sent */
};

extern MOTION_VARS motion_vars;

/* The ceiling of every speed, in pulses (of path) per slice. */
constexpr uint32_t SPEED_CEILING = 2040;

/* A speed above the ceiling is the ceiling (a negative value meant by the caller
 * arrives as a large unsigned one and becomes the ceiling too). */
static inline uint32_t clamp_speed(uint32_t speed)
{
    return speed > SPEED_CEILING ? SPEED_CEILING : speed;
}

#endif
