/*
 * port_driver.cpp - KORVA3_INITIAL and KORVA3_END: the start values set again, and the
 * port-access driver the system needs opened and closed.
 */
#include "korva3.h"
#include "port/platform.h"
#include "state/start_values.h"
#include "state/system_state.h"

/* Device paths of the port-access drivers. */
static const char DRIVER_PATH_9X[] = "\\\\.\\KLEMAT.VXD"; /* Windows 95/98/Me */
static const char DRIVER_PATH_NT[] = "\\\\.\\klemnt";     /* NT 3.x and 4.x */

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_INITIAL(void)
{
    set_start_values();

    const char *path;
    if (os_platform != 2)
        path = DRIVER_PATH_9X;
    else if (os_major == 3 || os_major == 4)
        path = DRIVER_PATH_NT;
    else
        return 0; /* NT 5 and later: the card's own device is opened at registration */

    driver_handle = plat_open_device(path, 0);
    return driver_handle == PLAT_INVALID_HANDLE ? 1 : 0;
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_END(void)
{
    if (driver_handle != PLAT_INVALID_HANDLE) {
        plat_close_handle(driver_handle);
        driver_handle = PLAT_INVALID_HANDLE;
    }
}
