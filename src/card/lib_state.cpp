/*
 * lib_state.cpp - load-time state, KORVA3_INITIAL and KORVA3_END.
 */
#include "card/lib_state.h"

#include <string.h>

#include "card/card_table.h"
#include "card/pci_scan.h"
#include "commands/motion_vars.h"
#include "interp/intp_state.h"
#include "interp/step_request.h"
#include "korva3.h"
#include "link/command_frame.h"
#include "link/status_frame.h"

uint32_t os_platform;
uint32_t os_major;
uint32_t os_minor;
plat_handle driver_handle = PLAT_INVALID_HANDLE;

/* Device paths of the port-access drivers. */
static const char DRIVER_PATH_9X[] = "\\\\.\\KLEMAT.VXD"; /* Windows 95/98/Me */
static const char DRIVER_PATH_NT[] = "\\\\.\\klemnt";     /* NT 3.x and 4.x */

void set_start_values(void)
{
    motion_vars.card_var = 10;
    motion_vars.accel = 2;
    motion_vars.start_speed = 2;
    motion_vars.high_speed = 100;
    motion_vars.spare_var = 30;

    intp.total_length = 0;
    intp.remaining = 0;
    intp.step = 0;
    intp.decelerating = 0;
    intp.phase = PHASE_NONE;
    intp.engine_phase = ENGINE_SETUP;
    intp_enabled.store(0);
    step_request.step_mode.store(0);
}

/* The process-attach hook: records the system version (at load, and again whenever the
 * virtual machine is reset or changes its OS stand-in). */
extern "C" void core_process_attach(void)
{
    plat_os_version(&os_platform, &os_major, &os_minor);
}

/* Every variable as it stands when the library has just been loaded. */
extern "C" void core_load_state(void)
{
    os_platform = os_major = os_minor = 0;
    driver_handle = PLAT_INVALID_HANDLE;
    card_table_clear();
    pci_table_clear();
    link_waited = 0;
    status_buffer_clear();
    intp_state_clear();
    step_request_clear();
    set_start_values();
}

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
