/*
 * config.cpp - configuration commands: control mode, speed parameters, default
 * directions, servo-on, zeroing, preset position, NC byte.
 */
#include <stdint.h>

#include "commands/command_codes.h"
#include "korva3.h"
#include "link/command_frame.h"
#include "state/motion_vars.h"
#include "state/step_request.h"

static uint8_t pack_flags(uint32_t x, uint32_t y, uint32_t z)
{
    return (uint8_t)((x & 1) | (y & 1) << 1 | (z & 1) << 2);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_SET_CONTROL_MODE(uint32_t card, uint32_t x_mode,
                                                              uint32_t y_mode, uint32_t z_mode)
{
    clear_step_mode();
    SEND_COMMAND(card, CMD_SET_CONTROL_MODE, (uint8_t)x_mode, (uint8_t)y_mode, (uint8_t)z_mode,
                 0, 0, 0, 0, 0);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_SET_VAR(uint32_t card, uint32_t card_var,
                                                     uint32_t accel, uint32_t start_speed,
                                                     uint32_t high_speed, uint32_t spare_var)
{
    clear_step_mode();
    uint8_t cv = (uint8_t)card_var;
    if (cv == 0)
        cv = 1;
    else if (cv == 255)
        cv = 254;
    uint8_t ac = (uint8_t)accel;
    if (ac == 0)
        ac = 1;
    else if (ac > 250)
        ac = 250;
    if (start_speed == 0)
        start_speed = 1;
    else if (start_speed > 500)
        start_speed = 500;
    if (high_speed < start_speed)
        high_speed = start_speed;
    if (high_speed > SPEED_CEILING)
        high_speed = SPEED_CEILING;

    SEND_COMMAND(card, CMD_SET_VAR, cv, ac, (uint8_t)(start_speed >> 8), (uint8_t)start_speed,
                 (uint8_t)(high_speed >> 8), (uint8_t)high_speed, 0, 0);

    /* Kept after the frame has gone out, for every card's interpolation. */
    motion_vars.card_var = cv;
    motion_vars.accel = ac;
    motion_vars.start_speed = start_speed;
    motion_vars.high_speed = high_speed;
    motion_vars.spare_var = spare_var;
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_SET_DEFDIR(uint32_t card, uint32_t x_dir,
                                                        uint32_t y_dir, uint32_t z_dir)
{
    clear_step_mode();
    SEND_COMMAND(card, CMD_SET_DEFDIR, pack_flags(x_dir, y_dir, z_dir), 0, 0, 0, 0, 0, 0, 0);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_SET_SERVO_ON(uint32_t card, uint32_t x_on,
                                                          uint32_t y_on, uint32_t z_on)
{
    clear_step_mode();
    SEND_COMMAND(card, CMD_SET_SERVO_ON, pack_flags(x_on, y_on, z_on), 0, 0, 0, 0, 0, 0, 0);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_SET_ZERO(uint32_t card, uint32_t axis)
{
    clear_step_mode();
    if (!is_axis(axis))
        return;
    SEND_COMMAND(card, CMD_SET_ZERO, (uint8_t)axis, 0, 0, 0, 0, 0, 0, 0);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_PRESET_POSITION(uint32_t card, uint32_t axis,
                                                             int32_t position)
{
    clear_step_mode();
    if (!is_axis(axis))
        return;
    uint32_t p = (uint32_t)position;
    SEND_COMMAND(card, CMD_PRESET_POSITION, (uint8_t)axis, (uint8_t)(p >> 24),
                 (uint8_t)(p >> 16), (uint8_t)(p >> 8), (uint8_t)p, 0, 0, 0);
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_SET_NC(uint32_t card, uint32_t nc)
{
    clear_step_mode();
    SEND_COMMAND(card, CMD_SET_NC, (uint8_t)nc, 0, 0, 0, 0, 0, 0, 0);
}
