/*
 * korva_app.c - a Windows program that uses korva32.dll, the way an application does.
 *
 * It is linked against the import library (MinGW: libkorva32.dll.a; MSVC: korva32.lib),
 * so Windows loads korva32.dll with the program, from the program's folder or the PATH.
 * It then initialises the library, registers card number 0 (the card whose ID switch
 * is 0), configures it, runs a line and an arc, and reads the card's status.
 *
 * The same program runs on the virtual card: put korva32sim.dll in its folder under
 * the name korva32.dll (the same functions at the same ordinals). The program notices
 * the virtual machine by its KSIM_ functions and puts a card on it first.
 *
 *   i686-w64-mingw32-gcc korva_app.c -I include -L build-win32 -lkorva32 -o korva_app.exe
 *   cl korva_app.c /I include korva32.lib
 */
#include <stdio.h>
#include <windows.h>

#include "korva3.h"

/* Virtual machine functions, found at run time: present only in korva32sim.dll. */
typedef void(KORVA3_CALL *ksim_reset_fn)(void);
typedef int32_t(KORVA3_CALL *ksim_add_card_fn)(uint32_t, uint32_t, uint32_t, uint32_t,
                                               uint32_t, uint32_t, uint32_t);
typedef void(KORVA3_CALL *ksim_advance_fn)(uint32_t);

static ksim_advance_fn ksim_advance;

static int set_up_virtual_card(void)
{
    HMODULE dll = GetModuleHandleA("korva32.dll");
    FARPROC reset = dll ? GetProcAddress(dll, "KSIM_RESET") : NULL;
    FARPROC add = dll ? GetProcAddress(dll, "KSIM_ADD_CARD") : NULL;
    if (!reset || !add)
        return 0;
    ksim_advance = (ksim_advance_fn)(void (*)(void))GetProcAddress(dll, "KSIM_ADVANCE_MS");
    ((ksim_reset_fn)(void (*)(void))reset)();
    ((ksim_add_card_fn)(void (*)(void))add)(0, 1, 0xE159, 0x0002, 0x0081, 0x0004, 0);
    return 1;
}

/* Waiting for the card's next status report: Sleep on a real card, virtual time on the
 * virtual one. */
static void pause_ms(unsigned ms)
{
    if (ksim_advance)
        ksim_advance(ms);
    else
        Sleep(ms);
}

int main(void)
{
    OSVERSIONINFOA os;
    int virtual_card = set_up_virtual_card();
    memset(&os, 0, sizeof os);
    os.dwOSVersionInfoSize = sizeof os;
    GetVersionExA(&os);
    printf("Windows %lu.%lu (platform %lu), %s card\n", os.dwMajorVersion, os.dwMinorVersion,
           os.dwPlatformId, virtual_card ? "virtual" : "real");

    /* 0: ready; 1: the port-access driver this Windows needs could not be opened. */
    uint32_t initial = KORVA3_INITIAL();
    printf("KORVA3_INITIAL -> %u\n", initial);
    if (initial != 0) {
        printf("the port-access driver is not installed\n");
        return 2;
    }
    /* 1: card number 0 is bound to the card whose ID switch is 0, and answers. */
    uint32_t registered = KORVA3_REGISTRATION(0, 0);
    printf("KORVA3_REGISTRATION(0, 0) -> %u\n", registered);
    if (registered != 1) {
        printf("no card with ID 0, or no access to it\n");
        KORVA3_END();
        return 3;
    }

    KORVA3_SET_VAR(0, 10, 10, 10, 400, 0);
    KORVA3_SET_SERVO_ON(0, 1, 1, 1);
    KORVA3_DO(0, 0x01); /* output 0 on while the card runs */

    KORVA3_INTP_LINE(0, 20000, 10000, 300);
    KORVA3_INTP_ARC(0, 0, 10000, 5000, 1, 200);
    KORVA3_WAIT_X(0);
    KORVA3_WAIT_Y(0);
    KORVA3_DO(0, 0x00);

    pause_ms(40);
    KORVA3_GET_CARD(0);
    printf("card 0: X %d, Y %d, Z %d, limits %02X, inputs %02X\n", KORVA3_GET_XC(0),
           KORVA3_GET_YC(0), KORVA3_GET_ZC(0), KORVA3_GET_LIMIT(0), KORVA3_DI(0));

    KORVA3_END();
    return 0;
}
