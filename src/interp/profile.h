/*
 * profile.h - the step generators: how far along its path each slice goes.
 */
#ifndef KORVA_PROFILE_H
#define KORVA_PROFILE_H

#include <stdint.h>

/* Next step of the trapezoidal profile under the cap max_step (pulses of path per
 * slice): updates step, remaining, decelerating and phase of INTP_STATE. */
void PROFILE_STEP(uint32_t max_step);

/* Next step of the constant profile: step = max_step until the path runs out. */
void CONST_STEP(uint32_t max_step);

#endif
