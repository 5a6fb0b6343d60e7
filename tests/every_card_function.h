/*
 * every_card_function.h - calls every card function of the library on one card number
 * and sums their results. The hardware backends' tests use it to prove that a card the
 * library cannot reach (no port access, nothing bound) is left alone by all of them:
 * nothing crashes, nothing hangs, every result is 0.
 */
#ifndef KORVA_TESTS_EVERY_CARD_FUNCTION_H
#define KORVA_TESTS_EVERY_CARD_FUNCTION_H

#include <stdint.h>

#include "korva3.h"

inline uint64_t call_every_card_function(uint32_t card)
{
    uint64_t sum = 0;
    sum += KORVA3_DI(card);
    KORVA3_DO(card, 0x7F);
    sum += KORVA3_MSC(card);
    KORVA3_WAIT_X(card);
    KORVA3_WAIT_Y(card);
    KORVA3_WAIT_Z(card);
    sum += KORVA3_IS_X_STOP(card) + KORVA3_IS_Y_STOP(card) + KORVA3_IS_Z_STOP(card);
    KORVA3_SET_CONTROL_MODE(card, 1, 2, 3);
    KORVA3_SET_VAR(card, 10, 2, 2, 100, 30);
    KORVA3_SET_DEFDIR(card, 1, 0, 1);
    KORVA3_SET_SERVO_ON(card, 1, 1, 1);
    KORVA3_SET_ZERO(card, 1);
    KORVA3_PRESET_POSITION(card, 2, -1000);
    KORVA3_SET_NC(card, 5);
    KORVA3_STOP(card, 1);
    KORVA3_DEC_STOP(card, 2);
    KORVA3_RESET_SYSTEM(card);
    KORVA3_STOP_ALL(card);
    KORVA3_EMG_STOP(card);
    KORVA3_BACK_HOME(card, 1, 3, 4);
    KORVA3_BACK_HOME01(card, 2, 3);
    KORVA3_PULSE_MOVE(card, 3, -500, 100);
    KORVA3_INTP_PULSE(card, 10, -10, 5);
    KORVA3_CONSTANT_SPEED(card, 1, 1, 50);
    KORVA3_INTP_XYZ(card, 100, 200, 300, 50);
    KORVA3_INTP_LINE01(card, 2, 100, -100, 50);
    KORVA3_INTP_LINE(card, 30, 40, 50);
    KORVA3_INTP_CIRCLE01(card, 3, 100, 0, 1, 50);
    KORVA3_INTP_CIRCLE(card, 0, 100, 0, 50);
    KORVA3_INTP_ARC01(card, 1, 200, 0, 100, 0, 50);
    KORVA3_INTP_ARC(card, 200, 0, -100, 1, 50);
    sum += KORVA3_INTP_XYZ02(card, 100, 200, 300, 50, 0);
    sum += KORVA3_INTP_LINE02(card, 1, 100, 200, 50, 1);
    sum += KORVA3_INTP_CIRCLE02(card, 1, 100, 0, 1, 50, 0);
    sum += KORVA3_INTP_ARC02(card, 1, 200, 0, 100, 0, 50, 0);
    sum += KORVA3_INTP_STOP();
    sum += KORVA3_INTP_ONLINE_SETSPEED(100);
    sum += KORVA3_GET_CARD(card) + KORVA3_GET_SYS(card) + KORVA3_GET_LIMIT(card) +
           KORVA3_GET_P1(card);
    sum += (uint32_t)(KORVA3_GET_XC(card) | KORVA3_GET_XP(card) | KORVA3_GET_YC(card) |
                      KORVA3_GET_YP(card) | KORVA3_GET_ZC(card) | KORVA3_GET_ZP(card));
    return sum;
}

#endif
