/*
 * intp_state.h - INTP_STATE, the one interpolation in progress: profile fields, control
 * fields and the path fields of the line, circle and arc engines.
 */
#ifndef KORVA_INTP_STATE_H
#define KORVA_INTP_STATE_H

#include <atomic>
#include <stdint.h>

/* Values of INTP_STATE::phase. */
enum : uint8_t {
    PHASE_NONE = 0,     /* no path since the library was initialised */
    PHASE_RUNNING = 1,  /* a path is running */
    PHASE_FINISHED = 2, /* the path's last step was produced, or the path was aborted */
};

/* Values of INTP_STATE::engine_phase. */
enum : uint8_t {
    ENGINE_SETUP = 1,   /* the next engine call sets a path up */
    ENGINE_RUNNING = 2, /* the next engine call runs slices of the current path */
};

struct INTP_STATE {
    /* Profile (written by the step generators, initialised by the engines). */
    uint32_t total_length;  /* path length (pulses of path) */
    uint32_t remaining;     /* path still to go (pulses of path) */
    uint32_t step;          /* step of the current slice (pulses of path per slice) */
    uint8_t  decelerating;  /* the ramp down has begun */
    uint8_t  phase;         /* PHASE_NONE, PHASE_RUNNING or PHASE_FINISHED */

    /* Control. */
    uint8_t  engine_phase;  /* ENGINE_SETUP or ENGINE_RUNNING */

    /* Straight paths (coordinates u, v, w relative to the start, in pulses). */
    uint32_t travelled;     /* sum of the steps so far (pulses of path) */
    double path_length;     /* Euclidean length before truncation (pulses) */
    double target_u, target_v, target_w; /* end point (pulses) */
    double ideal_u, ideal_v, ideal_w;    /* ideal point after the current slice (pulses) */
    double sent_u, sent_v, sent_w;       /* whole pulses sent so far per coordinate */

    /* Circles and arcs. */
    double path_radius;        /* pulses */
    double path_angle;         /* angle of the ideal point seen from the centre (radians) */
    double central_angle;      /* arc: angle the chord subtends at the centre, 0..pi */
    double chord_angle;        /* arc: direction of the chord (radians) */
    double chord_radius_angle; /* arc: signed angle between chord and start radius */
    double arc_center_u;       /* arc: centre relative to the start point (pulses) */
    double arc_center_v;
};

extern INTP_STATE intp;

/* 1 while an interpolation may run. Read once per slice by the thread that runs a path
 * and cleared by an emergency stop or reset from any other thread. */
extern std::atomic<uint8_t> intp_enabled;

/* Slices being sent right now by a running path. An emergency stop or reset from another
 * thread clears intp_enabled first and then waits, bounded, for this to reach 0 before it
 * pulses the reset line, so no slice of the ended path reaches the card after the reset. */
extern std::atomic<uint32_t> slices_in_progress;

/* Waits until no slice is being sent, or max_ms have passed on the library's clock. */
void wait_for_slice_in_progress(int32_t max_ms);

/* Zeroes every field, as at load (engine_phase is set by the start values). */
void intp_state_clear(void);

#endif
