/*
 * stepwise_path.c - a stepwise path on the virtual card, pumped by a status-polling
 * loop.
 *
 * A stepwise request (KORVA3_INTP_ARC02, ...) sends nothing by itself. Every
 * KORVA3_GET_CARD then sends the next batch of slices, as many as the card takes
 * without making the library wait, and reads the card's status. So a program that
 * polls the status every few milliseconds keeps the path running, and may change its
 * speed on the way with KORVA3_INTP_ONLINE_SETSPEED.
 */
#include <stdio.h>

#include "korva3.h"
#include "korva3_sim.h"

/* Status register bits: the controller is busy, or the X, Y or Z axis is moving. */
#define CARD_AT_WORK \
    (KORVA3_ST_BUSY | KORVA3_ST_X_MOVING | KORVA3_ST_Y_MOVING | KORVA3_ST_Z_MOVING)

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
    KORVA3_SET_VAR(0, 10, 10, 10, 400, 0);

    /* A half circle in the X-Y plane to (40000, 0), radius 20000, counter-clockwise,
     * at 100 pulses per slice with the trapezoidal ramp. */
    if (!KORVA3_INTP_ARC02(0, 1, 40000, 0, 20000, 1, 100, 0)) {
        fprintf(stderr, "arc refused\n");
        return 1;
    }

    /* Poll every 20 ms until the card is idle. A poll that sends a batch returns when
     * the card's queue is full again, so it may take longer than the 20 ms. */
    int polls = 0;
    while (KORVA3_GET_CARD(0) & CARD_AT_WORK) {
        polls++;
        printf("poll %2d at %4u ms: X %6d, Y %6d\n", polls, KSIM_CLOCK_MS(), KORVA3_GET_XC(0),
               KORVA3_GET_YC(0));
        if (polls == 1)
            KORVA3_INTP_ONLINE_SETSPEED(250); /* faster for the rest of the path */
        sleep_ms(20);
    }

    /* One more status frame, written after the last slice. */
    sleep_ms(40);
    KORVA3_GET_CARD(0);
    int x = KORVA3_GET_XC(0), y = KORVA3_GET_YC(0);
    printf("idle after %d polls: X %d, Y %d\n", polls, x, y);

    KORVA3_END();
    if (x != 40000 || y != 0) {
        fprintf(stderr, "expected X 40000, Y 0\n");
        return 1;
    }
    return 0;
}
