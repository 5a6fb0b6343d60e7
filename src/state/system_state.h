/*
 * system_state.h - state that belongs to no single card: the system version recorded at
 * load and the library's one device handle.
 */
#ifndef KORVA_SYSTEM_STATE_H
#define KORVA_SYSTEM_STATE_H

#include <stdint.h>
#include "port/platform.h"

extern uint32_t os_platform;        /* 1 = Windows 95/98/Me family, 2 = NT family */
extern uint32_t os_major;           /* major version number */
extern uint32_t os_minor;           /* minor version number */
extern plat_handle driver_handle;   /* port-access driver or card device interface */

/* Every variable above as at load: no version recorded, no handle. */
void system_state_clear(void);

#endif
