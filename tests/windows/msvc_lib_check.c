/*
 * msvc_lib_check.c - a program built the way Microsoft's tools build one (clang in MSVC
 * mode and lld-link, linking korva32sim.lib), with no C runtime at all: it checks that
 * the public headers compile for MSVC, that the MSVC import library resolves every
 * call, and that the calls reach the right functions. Its exit code is 0 when all is
 * well, else the number of the first check that failed. Run by scripts/windows.sh.
 */
#include "korva3.h"
#include "korva3_sim.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned code);

static unsigned check(void)
{
    KSIM_RESET();
    if (KSIM_ADD_CARD(0, 3, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE,
                      KSIM_PCI_SUBVENDOR, KSIM_PCI_SUBSYSTEM, 0) != 0)
        return 1;
    if (KORVA3_INITIAL() != 0)
        return 2;
    if (KORVA3_REGISTRATION(0, 0) != 1)
        return 3;
    KSIM_SET_SLICE_PERIOD_US(0, 0); /* slices take effect at once */
    KORVA3_SET_VAR(0, 10, 5, 5, 200, 0);
    KORVA3_INTP_LINE(0, 300, -400, 50);
    KORVA3_INTP_XYZ(0, 0, 0, 77, 50);
    if (KSIM_AXIS_PULSES(0, 1) != 300 || KSIM_AXIS_PULSES(0, 2) != -400 ||
        KSIM_AXIS_PULSES(0, 3) != 77)
        return 4;
    KORVA3_DO(0, 0x15);
    if (KSIM_OUTPUTS(0) != 0x15)
        return 5;
    KORVA3_EMG_STOP(0); /* keeps the outputs, pulses the reset line */
    if (KSIM_OUTPUTS(0) != 0x15 || KSIM_RESETS(0) != 1)
        return 6;
    KORVA3_STOP_ALL(0);
    if (KSIM_RESETS(0) != 2)
        return 7;
    if (KORVA3_INTP_LINE02(0, 1, 3, 4, 10, 1) != 1 || KORVA3_INTP_STOP() != 0)
        return 8;
    KORVA3_END();
    return 0;
}

void __stdcall start(void)
{
    ExitProcess(check());
}
