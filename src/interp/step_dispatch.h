/*
 * step_dispatch.h - INTP_DISPATCH, the pump of the saved stepwise request: what
 * KORVA3_INTP_STOP, KORVA3_INTP_ONLINE_SETSPEED and KORVA3_GET_CARD run first.
 */
#ifndef KORVA_STEP_DISPATCH_H
#define KORVA_STEP_DISPATCH_H

#include <stdint.h>

/* Runs the saved request on by one engine call. 1 = it goes on, 0 = it has ended. */
uint8_t INTP_DISPATCH(void);

#endif
