/*
 * load_hooks.cpp - what a backend calls into the library when it is loaded
 * (core_process_attach) and what the virtual machine's reset calls (core_load_state).
 * The one place that knows every folder's state, so it sits above them all.
 */
#include "card/pci_scan.h"
#include "link/command_frame.h"
#include "link/status_frame.h"
#include "port/platform.h"
#include "state/card_table.h"
#include "state/intp_state.h"
#include "state/start_values.h"
#include "state/step_request.h"
#include "state/system_state.h"

/* The process-attach hook: records the system version (at load, and again whenever the
 * virtual machine is reset or changes its OS stand-in). */
extern "C" void core_process_attach(void)
{
    plat_os_version(&os_platform, &os_major, &os_minor);
}

/* Every variable as it stands when the library has just been loaded. */
extern "C" void core_load_state(void)
{
    system_state_clear();
    card_table_clear();
    pci_table_clear();
    link_waited = 0;
    status_buffer_clear();
    intp_state_clear();
    step_request_clear();
    set_start_values();
}
