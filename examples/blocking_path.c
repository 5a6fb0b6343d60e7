/*
 * blocking_path.c - a blocking path on the virtual card.
 *
 * A blocking interpolation (KORVA3_INTP_LINE, KORVA3_INTP_ARC, ...) returns once its
 * last slice has been sent. The card may still hold a queue of slices to run, so a
 * program waits with KORVA3_WAIT_X (and _Y, _Z) before it reads where the axes are.
 */
#include <stdio.h>

#include "korva3.h"
#include "korva3_sim.h"

/* On a real card this would be Sleep(ms) or usleep(1000 * ms): here virtual time. */
static void sleep_ms(unsigned ms) { KSIM_ADVANCE_MS(ms); }

int main(void)
{
    /* The virtual machine: one card at PCI bus 0, device 1, its ID switch at 0. */
    KSIM_RESET();
    KSIM_ADD_CARD(0, 1, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE,
                  KSIM_PCI_SUBVENDOR, KSIM_PCI_SUBSYSTEM, 0);

    if (KORVA3_INITIAL() != 0 || KORVA3_REGISTRATION(0, 0) != 1) {
        fprintf(stderr, "no card\n");
        return 1;
    }
    /* card_var 10, accel 10, start speed 10, high speed 400 (pulses per slice). */
    KORVA3_SET_VAR(0, 10, 10, 10, 400, 0);

    /* A line to (20000, 10000), then a half circle of radius 5000 to (20000, 20000). */
    KORVA3_INTP_LINE(0, 20000, 10000, 300);
    KORVA3_INTP_ARC(0, 0, 10000, 5000, 1, 200);
    printf("all slices sent; the card is at X %d, Y %d and still running\n",
           KSIM_POSITION(0, 1), KSIM_POSITION(0, 2));

    KORVA3_WAIT_X(0);
    KORVA3_WAIT_Y(0);

    /* The card reports its position in the status frames it sends every 20 ms. */
    sleep_ms(40);
    KORVA3_GET_CARD(0);
    int x = KORVA3_GET_XC(0), y = KORVA3_GET_YC(0);
    printf("after KORVA3_WAIT_X and _Y: X %d, Y %d\n", x, y);

    KORVA3_END();
    if (x != 20000 || y != 20000) {
        fprintf(stderr, "expected X 20000, Y 20000\n");
        return 1;
    }
    return 0;
}
