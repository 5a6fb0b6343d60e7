/*
 * engines.h - the resumable interpolation engines and what they share.
 *
 * An engine is called again and again: with engine_phase ENGINE_SETUP it sets a path up and
 * sends nothing (result 1, or 0 for an empty or refused path); with ENGINE_RUNNING it sends
 * slices back to back and returns 1 at the first slice whose frame the card held up
 * (link_waited), or 0 once the path is complete or intp_enabled was found cleared.
 */
#ifndef KORVA_ENGINES_H
#define KORVA_ENGINES_H

#include <stdint.h>

#include "korva3.h"
#include "link/command_frame.h"
#include "state/intp_state.h"
#include "state/motion_vars.h"

uint8_t INTP_XYZ_STEP(uint32_t card, int32_t dx, int32_t dy, int32_t dz, uint32_t speed,
                      uint8_t no_ramp);
uint8_t INTP_LINE_STEP(uint32_t card, uint8_t plane, int32_t du, int32_t dv, uint32_t speed,
                       uint8_t no_ramp);
uint8_t INTP_CIRCLE_STEP(uint32_t card, uint8_t plane, int32_t center_u, int32_t center_v,
                         uint8_t direction, uint32_t speed, uint8_t no_ramp);
uint8_t INTP_ARC_STEP(uint32_t card, uint8_t plane, int32_t end_u, int32_t end_v,
                      int32_t radius, uint8_t direction, uint32_t speed, uint8_t no_ramp);

/* Sends one slice of a 2-axis path: plane 1 = X-Y, 2 = X-Z, 3 = Y-Z; any other plane
 * sends nothing. */
static inline void send_plane_slice(uint32_t card, uint8_t plane, int32_t pu, int32_t pv)
{
    switch (plane) {
    case 1: KORVA3_INTP_PULSE(card, pu, pv, 0); break;
    case 2: KORVA3_INTP_PULSE(card, pu, 0, pv); break;
    case 3: KORVA3_INTP_PULSE(card, 0, pu, pv); break;
    default: break;
    }
}

/* Whole pulses owed on one coordinate: what the ideal point is ahead of what was sent,
 * truncated toward zero; counted as sent. */
static inline int32_t owed_pulses(double ideal, double *sent)
{
    int32_t p = (int32_t)(ideal - *sent);
    *sent += (double)p;
    return p;
}

/* One slice, counted in slices_in_progress while it is being sent, and only while
 * intp_enabled is still set once it is counted: a reset in another thread either sees
 * the count and waits for the slice, or the slice sees the flag cleared and is never
 * sent. false: the path was ended before this slice. */
template <class Slice>
static inline bool counted_slice(Slice &slice)
{
    slices_in_progress.fetch_add(1);
    const bool go = intp_enabled.load() != 0;
    if (go)
        slice();
    slices_in_progress.fetch_sub(1);
    return go;
}

/* The run call shared by every engine: slices back to back until the path ends, the
 * card held up a frame, or intp_enabled was cleared. */
template <class Slice>
static inline uint8_t engine_run(Slice slice)
{
    if (!intp_enabled.load(std::memory_order_relaxed)) {
        intp.phase = PHASE_FINISHED;
        intp.engine_phase = ENGINE_SETUP;
        return 0;
    }
    for (;;) {
        if (!counted_slice(slice)) {
            intp.phase = PHASE_FINISHED;
            intp.engine_phase = ENGINE_SETUP;
            return 0;
        }
        if (intp.phase == PHASE_FINISHED) {
            intp.engine_phase = ENGINE_SETUP;
            return 0;
        }
        if (link_waited.load(std::memory_order_relaxed))
            return 1;
        if (!intp_enabled.load(std::memory_order_relaxed)) {
            intp.phase = PHASE_FINISHED;
            intp.engine_phase = ENGINE_SETUP;
            return 0;
        }
    }
}

/* The blocking loop: slices until the path ends or intp_enabled is cleared (from this
 * or another thread); the card's hold-ups only pace it. */
template <class Slice>
static inline void blocking_run(Slice slice)
{
    for (;;) {
        if (!counted_slice(slice)) {
            intp.phase = PHASE_FINISHED;
            return;
        }
        if (intp.phase == PHASE_FINISHED)
            return;
        if (!intp_enabled.load(std::memory_order_relaxed)) {
            intp.phase = PHASE_FINISHED;
            return;
        }
    }
}

#endif
