/*
 * old_app.c - an application as one was written for the card years ago: it knows the
 * card's library (korva3.h, linked to korva32) and nothing else. Run against the
 * virtual card's library put in place of korva32, with a machine description naming
 * two cards (ID 0 and ID 3, a limit switch on the second card's X axis), it shows that
 * an unchanged program runs on the virtual machine in real time.
 *
 * It registers both cards, configures them, runs a blocking line on card 0, a stepwise
 * line on card 1 (pumped by a status poll every 10 ms, with a real sleep between), a
 * single-axis move, reads the inputs and positions, and prints how long it took.
 */
#define _POSIX_C_SOURCE 200809L /* nanosleep, clock_gettime */
#include <stdio.h>

#include "korva3.h"

#ifdef _WIN32
#include <windows.h>
static void sleep_ms(unsigned ms) { Sleep(ms); }
static unsigned long now_ms(void) { return GetTickCount(); }
#else
#include <time.h>
static void sleep_ms(unsigned ms)
{
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}
static unsigned long now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (unsigned long)t.tv_sec * 1000UL + (unsigned long)t.tv_nsec / 1000000UL;
}
#endif

#define AT_WORK (KORVA3_ST_BUSY | KORVA3_ST_X_MOVING | KORVA3_ST_Y_MOVING | KORVA3_ST_Z_MOVING)

static void show(unsigned card)
{
    KORVA3_GET_CARD(card); /* reports that waited while nobody polled this card */
    sleep_ms(120);
    KORVA3_GET_CARD(card); /* a fresh one */
    printf("card %u: X %d, Y %d, Z %d, limits 0x%02X, inputs 0x%02X\n", card,
           (int)KORVA3_GET_XC(card), (int)KORVA3_GET_YC(card), (int)KORVA3_GET_ZC(card),
           (unsigned)KORVA3_GET_LIMIT(card), (unsigned)KORVA3_DI(card));
}

int main(void)
{
    unsigned long start = now_ms();
    unsigned polls = 0;

    if (KORVA3_INITIAL() != 0) {
        printf("no driver\n");
        return 1;
    }
    if (KORVA3_REGISTRATION(0, 0) != 1) {
        printf("card 0 (ID 0) missing\n");
        return 1;
    }
    if (KORVA3_REGISTRATION(1, 3) != 1) {
        printf("card 1 (ID 3) missing\n");
        return 1;
    }
    KORVA3_SET_VAR(0, 10, 5, 10, 400, 0);
    KORVA3_SET_VAR(1, 10, 5, 10, 400, 0);
    KORVA3_SET_CONTROL_MODE(1, 0, 0, 0);
    KORVA3_DO(0, 0x05);

    /* Card 0: a blocking line, then wait for its end. */
    KORVA3_INTP_LINE(0, 20000, 10000, 50);
    KORVA3_WAIT_X(0);
    KORVA3_WAIT_Y(0);

    /* Card 1: a stepwise line along X, beyond its limit switch, pumped by polling. */
    if (!KORVA3_INTP_LINE02(1, 1, 30000, 0, 50, 0)) {
        printf("stepwise path refused\n");
        return 1;
    }
    while (KORVA3_GET_CARD(1) & AT_WORK) {
        polls++;
        sleep_ms(10);
    }

    /* Card 1: Y moves 5000 pulses at 50 pulses per ms. */
    KORVA3_PULSE_MOVE(1, 2, 5000, 50);
    while (!KORVA3_IS_Y_STOP(1))
        sleep_ms(5);

    show(0);
    show(1);
    printf("stepwise polls: %u\n", polls);
    printf("took %lu ms\n", now_ms() - start);
    KORVA3_END();
    return 0;
}
