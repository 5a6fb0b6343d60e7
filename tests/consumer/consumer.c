/*
 * consumer.c - a program of a separate project using the installed library (find_package,
 * pkg-config or the Windows zip): the worked example on the virtual card.
 * KORVA3_INTP_LINE(card, 3, 4, 10) must send the slices (1,1,0), (1,2,0), (1,1,0).
 */
#include <stdio.h>

#include <korva3.h>
#include <korva3_sim.h>

static int slice_value(unsigned char hi, unsigned char lo)
{
    int magnitude = (hi & 0x07) << 8 | lo;
    return (hi & 0x80) ? -magnitude : magnitude;
}

int main(void)
{
    static const int want[3][3] = {{1, 1, 0}, {1, 2, 0}, {1, 1, 0}};
    unsigned char frames[13 * 64];
    int got[8][3], n = 0, ok;
    unsigned i, count;

    KSIM_RESET();
    KSIM_ADD_CARD(0, 3, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR,
                  KSIM_PCI_SUBSYSTEM, 0);
    if (KORVA3_INITIAL() != 0 || KORVA3_REGISTRATION(0, 0) != 1) {
        printf("C: no card\n");
        return 1;
    }
    KSIM_TAKE_FRAMES(0, frames, 64); /* registration's frames */
    KORVA3_INTP_LINE(0, 3, 4, 10);
    count = KSIM_TAKE_FRAMES(0, frames, 64);
    for (i = 0; i < count && n < 8; i++) {
        const unsigned char *f = &frames[13 * i];
        if (f[2] == 0x10) { /* an interpolation slice */
            got[n][0] = slice_value(f[3], f[4]);
            got[n][1] = slice_value(f[5], f[6]);
            got[n][2] = slice_value(f[7], f[8]);
            n++;
        }
    }
    ok = n == 3;
    printf("C, korva3.h %d.%d.%d: slices", KORVA3_VERSION_MAJOR, KORVA3_VERSION_MINOR,
           KORVA3_VERSION_PATCH);
    for (i = 0; i < (unsigned)n; i++) {
        printf(" (%d,%d,%d)", got[i][0], got[i][1], got[i][2]);
        if (ok && (got[i][0] != want[i][0] || got[i][1] != want[i][1] || got[i][2] != want[i][2]))
            ok = 0;
    }
    printf(": %s\n", ok ? "ok" : "WRONG, want (1,1,0) (1,2,0) (1,1,0)");
    KORVA3_END();
    return ok ? 0 : 1;
}
