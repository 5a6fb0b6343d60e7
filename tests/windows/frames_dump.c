/*
 * frames_dump.c - prints every frame the virtual card receives for a fixed set of
 * lines, circles and arcs (blocking and stepwise, every plane, several speed settings),
 * and the interpolation's double state after each path, bit for bit.
 *
 * Built for Linux, 32-bit and 64-bit Windows; scripts/windows.sh runs all three and
 * requires the same output. The paths are computed in doubles: a build that rounded
 * differently (the x87 unit's extended precision, a fused multiply-add) would send a
 * slice a pulse off somewhere, and the outputs would differ.
 */
#include <stdio.h>
#include <string.h>

#include "korva3.h"
#include "korva3_sim.h"

static unsigned long total_frames;

static void take_frames(void)
{
    unsigned char frames[13 * 256];
    unsigned n;
    do {
        n = KSIM_TAKE_FRAMES(0, frames, 256);
        for (unsigned i = 0; i < n; i++) {
            for (int b = 0; b < 13; b++)
                printf("%02X", frames[13 * i + b]);
            printf("\n");
        }
        total_frames += n;
    } while (n == 256);
}

/* A double as its 64 bits, so that no printf rounding can hide a difference. */
static void print_double(const char *name)
{
    double value = KSIM_LIB_DOUBLE(name);
    unsigned char bytes[8];
    memcpy(bytes, &value, 8);
    printf(" %s=", name);
    for (int i = 7; i >= 0; i--)
        printf("%02X", bytes[i]);
}

static void end_path(void)
{
    take_frames();
    static const char *const names[] = {"path_length", "path_radius", "path_angle",
                                        "central_angle", "chord_angle", "arc_center_u",
                                        "arc_center_v", "ideal_u", "ideal_v",
                                        "sent_u", "sent_v", "sent_w"};
    printf("state");
    for (size_t i = 0; i < sizeof names / sizeof names[0]; i++)
        print_double(names[i]);
    printf("\npositions %d %d %d\n", KSIM_AXIS_PULSES(0, 1), KSIM_AXIS_PULSES(0, 2),
           KSIM_AXIS_PULSES(0, 3));
}

/* Runs the saved stepwise request to its end, changing its speed once on the way. */
static void run_stepwise(unsigned new_speed)
{
    unsigned long calls = 0;
    while (KORVA3_INTP_STOP()) {
        if (++calls == 3 && new_speed)
            KORVA3_INTP_ONLINE_SETSPEED(new_speed);
        if (calls > 1000000) {
            printf("stepwise request never ended\n");
            break;
        }
    }
}

int main(void)
{
    KSIM_RESET();
    if (KSIM_ADD_CARD(0, 3, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR,
                      KSIM_PCI_SUBSYSTEM, 0) != 0 ||
        KORVA3_INITIAL() != 0 || KORVA3_REGISTRATION(0, 0) != 1) {
        printf("no virtual card\n");
        return 1;
    }
    take_frames();

    /* Speed settings: accel, start speed (both shape every path), high speed. */
    static const unsigned settings[][3] = {{2, 2, 100}, {7, 13, 900}, {250, 500, 2040},
                                           {1, 1, 30}};
    /* Speed caps of the paths. */
    static const unsigned speeds[] = {1, 37, 250, 2040};

    for (size_t s = 0; s < sizeof settings / sizeof settings[0]; s++) {
        KORVA3_SET_VAR(0, 10, settings[s][0], settings[s][1], settings[s][2], 30);
        printf("== settings accel %u start %u high %u\n", settings[s][0], settings[s][1],
               settings[s][2]);
        take_frames();
        for (size_t v = 0; v < sizeof speeds / sizeof speeds[0]; v++) {
            unsigned speed = speeds[v];
            if (speed == 1 && s != 0)
                continue; /* the slowest paths are long: once is enough */
            printf("-- speed %u\n", speed);

            printf("line xyz\n");
            KORVA3_INTP_XYZ(0, 1234, -567, 89, speed);
            end_path();
            printf("line xyz thin\n");
            KORVA3_INTP_XYZ(0, -3, 2001, -1999, speed);
            end_path();
            for (unsigned plane = 1; plane <= 3; plane++) {
                printf("line01 plane %u\n", plane);
                KORVA3_INTP_LINE01(0, plane, -777, 333, speed);
                end_path();
            }
            printf("line\n");
            KORVA3_INTP_LINE(0, 100, 7, speed);
            end_path();

            /* Lines of whole length: many ideal points fall on whole pulses exactly,
             * where a result rounded differently truncates to another pulse. */
            static const int flat[][2] = {{3, 4},       {300, -400},  {3000, 4000},
                                          {-5, 12},     {400, 750},   {-600, -630},
                                          {-360, 770},  {715, -792},  {33, 56}};
            for (size_t i = 0; i < sizeof flat / sizeof flat[0]; i++) {
                unsigned plane = 1 + (unsigned)(i % 3);
                printf("whole line01 plane %u %d %d\n", plane, flat[i][0], flat[i][1]);
                KORVA3_INTP_LINE01(0, plane, flat[i][0], flat[i][1], speed);
                end_path();
            }
            static const int solid[][3] = {{300, 600, 600},  {400, 600, 1200}, {180, -900, 990},
                                           {600, 600, 1050}, {-666, 666, 777}, {1, 4, 8},
                                           {12, 15, 16}};
            for (size_t i = 0; i < sizeof solid / sizeof solid[0]; i++) {
                printf("whole xyz %d %d %d\n", solid[i][0], solid[i][1], solid[i][2]);
                KORVA3_INTP_XYZ(0, solid[i][0], solid[i][1], solid[i][2], speed);
                end_path();
            }

            for (unsigned plane = 1; plane <= 3; plane++)
                for (unsigned dir = 0; dir <= 1; dir++) {
                    printf("circle01 plane %u dir %u\n", plane, dir);
                    KORVA3_INTP_CIRCLE01(0, plane, 300, -411, dir, speed);
                    end_path();
                }
            printf("circle\n");
            KORVA3_INTP_CIRCLE(0, -17, 5, 1, speed);
            end_path();

            static const int arcs[][3] = {{400, 0, 200},    {400, 0, -200}, {300, 300, 250},
                                          {300, 300, -250}, {-51, 77, 60},  {-51, 77, -60},
                                          {1000, 1, 501},   {0, 999, -500}};
            for (size_t a = 0; a < sizeof arcs / sizeof arcs[0]; a++)
                for (unsigned dir = 0; dir <= 1; dir++) {
                    unsigned plane = 1 + (unsigned)(a % 3);
                    printf("arc01 plane %u end %d %d radius %d dir %u\n", plane, arcs[a][0],
                           arcs[a][1], arcs[a][2], dir);
                    KORVA3_INTP_ARC01(0, plane, arcs[a][0], arcs[a][1], arcs[a][2], dir, speed);
                    end_path();
                }
            printf("arc\n");
            KORVA3_INTP_ARC(0, -250, -100, 140, 0, speed);
            end_path();

            for (unsigned no_ramp = 0; no_ramp <= 1; no_ramp++) {
                printf("xyz02 no_ramp %u -> %u\n", no_ramp,
                       KORVA3_INTP_XYZ02(0, 901, -45, 333, speed, no_ramp));
                run_stepwise(speed / 2 + 1);
                end_path();
                printf("line02 no_ramp %u -> %u\n", no_ramp,
                       KORVA3_INTP_LINE02(0, 2, -640, 480, speed, no_ramp));
                run_stepwise(0);
                end_path();
                printf("circle02 no_ramp %u -> %u\n", no_ramp,
                       KORVA3_INTP_CIRCLE02(0, 3, 0, 250, 0, speed, no_ramp));
                run_stepwise(speed * 2);
                end_path();
                printf("arc02 no_ramp %u -> %u\n", no_ramp,
                       KORVA3_INTP_ARC02(0, 1, 500, -500, -400, 1, speed, no_ramp));
                run_stepwise(speed / 3 + 1);
                end_path();
            }
        }
    }
    fprintf(stderr, "%lu frames\n", total_frames);
    KORVA3_END();
    return 0;
}
