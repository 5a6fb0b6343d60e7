/*
 * first_steps.c - a first program on the virtual card: initialise the library,
 * register a card, configure it, set an output, read a status report, and run one
 * blocking and one stepwise path, printing every frame the card received.
 */
#include <stdio.h>

#include "korva3.h"
#include "korva3_sim.h"

static const char *command_name(unsigned code)
{
    switch (code) {
    case 0x00: return "link reset";
    case 0x40: return "link test";
    case 0x10: return "interpolation slice";
    case 0x22: return "speed parameters";
    case 0x24: return "servo on";
    default: return "command";
    }
}

/* Prints the frames card 0 of the virtual machine received since the last call. */
static unsigned show_frames(const char *title, int quiet_slices)
{
    unsigned char frames[13 * 256];
    unsigned n = KSIM_TAKE_FRAMES(0, frames, 256);
    printf("%s: %u frame%s\n", title, n, n == 1 ? "" : "s");
    for (unsigned i = 0; i < n; i++) {
        const unsigned char *f = &frames[13 * i];
        if (quiet_slices && f[2] == 0x10 && i >= 3 && i + 2 < n) {
            if (i == 3)
                printf("  ...\n");
            continue;
        }
        printf("  ");
        for (int b = 0; b < 13; b++)
            printf("%02X ", f[b]);
        printf(" %s", command_name(f[2]));
        if (f[2] == 0x10) {
            int v[3];
            for (int a = 0; a < 3; a++) {
                int w = f[3 + 2 * a] << 8 | f[4 + 2 * a];
                v[a] = (w & 0x8000) ? -(w & 0x7FF) : (w & 0x7FF);
            }
            printf(" (%d, %d, %d)", v[0], v[1], v[2]);
        }
        printf("\n");
    }
    return n;
}

int main(void)
{
    /* A machine with one card on bus 1, device 4, its ID switch at 0. */
    KSIM_RESET();
    KSIM_ADD_CARD(1, 4, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE,
                  KSIM_PCI_SUBVENDOR, KSIM_PCI_SUBSYSTEM, 0);

    printf("KORVA3_INITIAL -> %u\n", KORVA3_INITIAL());
    printf("KORVA3_REGISTRATION(0, 0) -> %u\n", KORVA3_REGISTRATION(0, 0));
    show_frames("registration", 0);

    KORVA3_SET_VAR(0, 10, 2, 2, 100, 30);
    KORVA3_SET_SERVO_ON(0, 1, 1, 0);
    show_frames("configuration", 0);

    KORVA3_DO(0, 0x05);
    printf("outputs after KORVA3_DO(0, 0x05): 0x%02X\n", KSIM_OUTPUTS(0));

    /* The controller writes a status report: X at -2, Y at 100000. */
    unsigned char report[34] = {0x55, 0xAA, 0x01, 0x00, 0x00};
    const unsigned char values[8] = {0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0x01, 0x86, 0xA0};
    for (int i = 0; i < 4; i++) {
        report[2 + 7 + i] = values[i];      /* xc */
        report[2 + 15 + i] = values[4 + i]; /* yc */
    }
    unsigned char check = 0;
    for (int i = 0; i < 31; i++)
        check ^= report[2 + i];
    report[2 + 31] = check;
    KSIM_OFFER(0, report, sizeof report);
    KORVA3_GET_CARD(0);
    printf("status: sys 0x%02X, xc %d, yc %d\n", KORVA3_GET_SYS(0), KORVA3_GET_XC(0),
           KORVA3_GET_YC(0));

    KORVA3_INTP_LINE(0, 3, 4, 10);
    show_frames("blocking line to (3, 4)", 0);

    /* A stepwise arc, driven by a status-polling loop; the card holds up every 40th
     * byte, which ends each batch. */
    for (unsigned b = 0; b < 2000; b += 40)
        KSIM_HOLD(0, b);
    unsigned batches = 0;
    if (KORVA3_INTP_ARC02(0, 1, 200, 0, 100, 1, 20, 0)) {
        while (KORVA3_INTP_STOP())
            batches++;
    }
    printf("stepwise arc to (200, 0): %u batches\n", batches + 1);
    show_frames("stepwise arc", 1);
    printf("pulses received: X %d, Y %d\n", KSIM_AXIS_PULSES(0, 1), KSIM_AXIS_PULSES(0, 2));

    KORVA3_END();
    return 0;
}
