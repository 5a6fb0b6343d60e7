/* system_state.cpp - the system version recorded at load and the one device handle. */
#include "state/system_state.h"

uint32_t os_platform;
uint32_t os_major;
uint32_t os_minor;
plat_handle driver_handle = PLAT_INVALID_HANDLE;

void system_state_clear(void)
{
    os_platform = os_major = os_minor = 0;
    driver_handle = PLAT_INVALID_HANDLE;
}
