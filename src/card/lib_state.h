/*
 * lib_state.h - state that belongs to no single card: the system version recorded at
 * load, the one device handle, and the start values of the shared variables.
 */
#ifndef KORVA_LIB_STATE_H
#define KORVA_LIB_STATE_H

#include <stdint.h>
#include "port/platform.h"

extern uint32_t os_platform;        /* 1 = Windows 95/98/Me family, 2 = NT family */
extern uint32_t os_major;           /* major version number */
extern uint32_t os_minor;           /* minor version number */
extern plat_handle driver_handle;   /* port-access driver or card device interface */

/* Sets the start values of the shared variables (speed parameters, profile and control
 * fields of the interpolation, the stepwise request's kind). */
void set_start_values(void);

#endif
