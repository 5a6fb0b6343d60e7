/*
 * motion.cpp - motion commands: homing, pulse moves, constant speed, one interpolation
 * slice, immediate and decelerating stops.
 */
#include <stdint.h>

#include "commands/command_codes.h"
#include "korva3.h"
#include "link/command_frame.h"
#include "state/motion_vars.h"
#include "state/step_request.h"

extern "C" KORVA3_API void KORVA3_CALL KORVA3_BACK_HOME(uint32_t card, uint32_t axis,
                                                       uint32_t home_byte1, uint32_t home_byte2)
{
    clear_step_mode();
    SEND_COMMAND(card, CMD_BACK_HOME, (uint8_t)(axis & 3), (uint8_t)home_byte1,
                 (uint8_t)home_byte2, 0, 0, 0, 0, 0);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_BACK_HOME01(uint32_t card, uint32_t axis,
                                                         uint32_t home_byte1)
{
    clear_step_mode();
    SEND_COMMAND(card, CMD_BACK_HOME01, (uint8_t)(axis & 3), (uint8_t)home_byte1, 0, 0, 0, 0,
                 0, 0);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_PULSE_MOVE(uint32_t card, uint32_t axis,
                                                        int32_t pulses, uint32_t speed)
{
    clear_step_mode();
    speed = clamp_speed(speed);
    if (speed == 0)
        return;
    /* A zero or negative count sets the direction bit; the magnitude of INT32_MIN is
     * 0x80000000, taken without signed overflow. */
    uint8_t dir = pulses > 0 ? 0 : DIRECTION_BIT;
    uint32_t mag = pulses < 0 ? 0u - (uint32_t)pulses : (uint32_t)pulses;
    SEND_COMMAND(card, CMD_PULSE_MOVE, (uint8_t)((axis & 3) | dir), (uint8_t)(mag >> 24),
                 (uint8_t)(mag >> 16), (uint8_t)(mag >> 8), (uint8_t)mag,
                 (uint8_t)(speed >> 8), (uint8_t)speed, 0);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_CONSTANT_SPEED(uint32_t card, uint32_t axis,
                                                            uint32_t direction, uint32_t speed)
{
    clear_step_mode();
    speed = clamp_speed(speed);
    if (speed == 0)
        return;
    SEND_COMMAND(card, CMD_CONSTANT_SPEED, (uint8_t)((axis & 3) | (direction & 1) << 4),
                 (uint8_t)(speed >> 8), (uint8_t)speed, 0, 0, 0, 0, 0);
}

/* Slice word: sign-magnitude, bit 15 = negative, bits 10..0 = magnitude. */
static uint16_t slice_word(int32_t count)
{
    return count < 0 ? (uint16_t)(0x8000u | (0u - (uint32_t)count)) : (uint16_t)count;
}

/* |count| <= 2047, decided without negating (INT32_MIN has no absolute value). */
static int slice_fits(int32_t count)
{
    return count >= -SLICE_MAX_PULSES && count <= SLICE_MAX_PULSES;
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_INTP_PULSE(uint32_t card, int32_t x_pulses,
                                                        int32_t y_pulses, int32_t z_pulses)
{
    /* step_mode stays: the stepwise engines reach the card through here. */
    if (!slice_fits(x_pulses) || !slice_fits(y_pulses) || !slice_fits(z_pulses))
        return;
    uint16_t x = slice_word(x_pulses), y = slice_word(y_pulses), z = slice_word(z_pulses);
    SEND_COMMAND(card, CMD_INTP_PULSE, (uint8_t)(x >> 8), (uint8_t)x, (uint8_t)(y >> 8),
                 (uint8_t)y, (uint8_t)(z >> 8), (uint8_t)z, 0, 0);
}

static void stop_axis(uint32_t card, uint32_t axis, uint8_t cmd)
{
    clear_step_mode();
    if (!is_axis(axis))
        return;
    SEND_COMMAND(card, cmd, (uint8_t)axis, 0, 0, 0, 0, 0, 0, 0);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_STOP(uint32_t card, uint32_t axis)
{
    stop_axis(card, axis, CMD_STOP);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_DEC_STOP(uint32_t card, uint32_t axis)
{
    stop_axis(card, axis, CMD_DEC_STOP);
}
