/*
 * command_codes.h - the command codes the library sends (the cmd byte of a frame).
 * 0x00 and 0x40 belong to the link itself (link/command_frame.h).
 */
#ifndef KORVA_COMMAND_CODES_H
#define KORVA_COMMAND_CODES_H

#include <stdint.h>

enum {
    CMD_BACK_HOME = 0x01,        /* axis, two homing bytes */
    CMD_BACK_HOME01 = 0x02,      /* axis, one homing byte */
    CMD_PULSE_MOVE = 0x03,       /* axis and direction, 32-bit magnitude, 16-bit speed */
    CMD_CONSTANT_SPEED = 0x04,   /* axis and direction, 16-bit speed */
    CMD_INTP_PULSE = 0x10,       /* three slice words */
    CMD_SET_CONTROL_MODE = 0x21, /* three mode bytes */
    CMD_SET_VAR = 0x22,          /* speed parameters */
    CMD_SET_DEFDIR = 0x23,       /* packed direction flags */
    CMD_SET_SERVO_ON = 0x24,     /* packed servo-on flags */
    CMD_SET_ZERO = 0x2A,         /* axis */
    CMD_PRESET_POSITION = 0x2B,  /* axis, 32-bit position */
    CMD_SET_NC = 0x2C,           /* NC byte */
    CMD_SYSTEM_RESET_2 = 0x30,   /* second of the system reset's two (48) */
    CMD_STOP = 0x31,             /* axis */
    CMD_SYSTEM_RESET_1 = 0x32,   /* first of the system reset's two (50) */
    CMD_DEC_STOP = 0x33          /* axis */
};

/* Direction bit in p1 of the move and constant-speed commands. */
enum { DIRECTION_BIT = 0x10 };

/* Largest pulse count of one axis in one interpolation slice. */
enum { SLICE_MAX_PULSES = 2047 };

static inline int is_axis(uint32_t axis)
{
    uint8_t a = (uint8_t)axis;
    return a >= 1 && a <= 3;
}

#endif
