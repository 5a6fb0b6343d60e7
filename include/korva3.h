/*
 * korva3.h - KORVA32, the application interface of the three-axis PCI motion card.
 *
 * 52 exported functions (51 routines: KORVA3_STOP_ALL and KORVA3_EMG_STOP are one).
 * Every argument travels in a 32-bit slot; a function uses the low bits named in its
 * comment (card numbers: the low 8 bits, 0..15). Every result is returned zero-extended
 * (or, for the signed position readers, as a full signed 32-bit value) in a 32-bit
 * register, so callers in any language may read the whole register.
 *
 * Order of use: KORVA3_INITIAL, KORVA3_REGISTRATION for each card, card functions,
 * KORVA3_END.
 */
#ifndef KORVA3_H
#define KORVA3_H

#include <stdint.h>

/* The library's version (docs/installing.md: Version policy). A new major version is a
 * change to these 52 functions or to their bytes; programs built against one major
 * version run with every later release of it. */
#define KORVA3_VERSION_MAJOR 1
#define KORVA3_VERSION_MINOR 0
#define KORVA3_VERSION_PATCH 0

/* Calling convention: stdcall on 32-bit Windows, the platform's own elsewhere. */
#if defined(_WIN32) && !defined(_WIN64)
#define KORVA3_CALL __stdcall
#else
#define KORVA3_CALL
#endif

/* Symbol visibility: exports are listed by the .def files on Windows; on ELF
 * platforms only the functions marked here leave the shared library. */
#if defined(KORVA3_BUILDING) && !defined(_WIN32)
#define KORVA3_API __attribute__((visibility("default")))
#else
#define KORVA3_API
#endif

/* Bits of the card's status register, as KORVA3_MSC and KORVA3_GET_CARD return it. */
#define KORVA3_ST_BUSY     0x01 /* the controller works on a command (a path) */
#define KORVA3_ST_TX_READY 0x02 /* it will take a byte of a command */
#define KORVA3_ST_RX_READY 0x04 /* a byte of a status report waits */
#define KORVA3_ST_X_MOVING 0x10
#define KORVA3_ST_Y_MOVING 0x20
#define KORVA3_ST_Z_MOVING 0x40

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Set-up ----------------------------------------------------------------------- */

/* Sets every shared variable to its start value and opens the port-access driver this
 * system needs. Result (16-bit): 0 = ready, 1 = the driver could not be opened.
 * On Linux the driver is port access granted by iopl(3); after a result of 1, errno
 * holds the kernel's answer (EPERM: run as root or grant CAP_SYS_RAWIO; ENOSYS: this
 * kernel has no iopl, and root does not help; others: see strerror(errno)). */
KORVA3_API uint32_t KORVA3_CALL KORVA3_INITIAL(void);

/* Closes the library's device handle, if one is open. Card records are kept. */
KORVA3_API void KORVA3_CALL KORVA3_END(void);

/* Binds card number `card` (0..15) to the card whose ID switch equals `id`, writes its
 * start registers and tests the link to its controller. Result (8-bit): 1 = usable,
 * 0 = not (no such card, full PCI table, no device interface, or link test failed).
 * When no card carries the ID a message box "GetCard==0" (caption "DLL") is shown. */
KORVA3_API uint32_t KORVA3_CALL KORVA3_REGISTRATION(uint32_t card, uint32_t id);

/* ---- Direct registers ------------------------------------------------------------- */

/* Reads the card's digital inputs. Result: the 8-bit input register. */
KORVA3_API uint32_t KORVA3_CALL KORVA3_DI(uint32_t card);
/* Sets the card's digital outputs 0..6 to the low 7 bits of `value` (bit 7 is the
 * controller's reset line and is never driven by this call). */
KORVA3_API void KORVA3_CALL KORVA3_DO(uint32_t card, uint32_t value);
/* Reads the card's mailbox status register. Result: its 8 bits. */
KORVA3_API uint32_t KORVA3_CALL KORVA3_MSC(uint32_t card);
/* Wait until the axis is idle (controller not busy, motion bit seen clear twice 5 ms
 * apart). Return at once on a card whose link test failed. No time limit. */
KORVA3_API void KORVA3_CALL KORVA3_WAIT_X(uint32_t card);
KORVA3_API void KORVA3_CALL KORVA3_WAIT_Y(uint32_t card);
KORVA3_API void KORVA3_CALL KORVA3_WAIT_Z(uint32_t card);
/* Ask whether the axis is idle. Result: 1 = stopped, 0 = moving, busy, or no link. */
KORVA3_API uint32_t KORVA3_CALL KORVA3_IS_X_STOP(uint32_t card);
KORVA3_API uint32_t KORVA3_CALL KORVA3_IS_Y_STOP(uint32_t card);
KORVA3_API uint32_t KORVA3_CALL KORVA3_IS_Z_STOP(uint32_t card);
/* Resets the controller through its reset line (outputs all 0 afterwards), ends any
 * interpolation, then sends commands 50 and 48. */
KORVA3_API void KORVA3_CALL KORVA3_RESET_SYSTEM(uint32_t card);
/* Emergency stop: resets the controller through its reset line, keeping the outputs,
 * and ends any interpolation, also one running in another thread. Safe to call from
 * any thread; two stops of one card at once (or a stop and KORVA3_RESET_SYSTEM) take
 * turns, each pulsing the reset line whole. KORVA3_EMG_STOP is the same function under a
 * second name. */
KORVA3_API void KORVA3_CALL KORVA3_STOP_ALL(uint32_t card);
KORVA3_API void KORVA3_CALL KORVA3_EMG_STOP(uint32_t card);

/* ---- Configuration ---------------------------------------------------------------- */

/* Control mode bytes of the three axes, passed to the card unchanged. */
KORVA3_API void KORVA3_CALL KORVA3_SET_CONTROL_MODE(uint32_t card, uint32_t x_mode,
                                                   uint32_t y_mode, uint32_t z_mode);
/* Speed parameters, clamped: card_var 1..254, accel 1..250 (pulses per slice, per
 * slice), start_speed 1..500, high_speed start_speed..2040 (pulses per slice);
 * spare_var is kept but not sent. accel and start_speed shape every later
 * interpolation on every card. */
KORVA3_API void KORVA3_CALL KORVA3_SET_VAR(uint32_t card, uint32_t card_var, uint32_t accel,
                                          uint32_t start_speed, uint32_t high_speed,
                                          uint32_t spare_var);
/* Default direction flags (bit 0 of each argument counts). */
KORVA3_API void KORVA3_CALL KORVA3_SET_DEFDIR(uint32_t card, uint32_t x_dir, uint32_t y_dir,
                                             uint32_t z_dir);
/* Servo-on flags (bit 0 of each argument counts). */
KORVA3_API void KORVA3_CALL KORVA3_SET_SERVO_ON(uint32_t card, uint32_t x_on, uint32_t y_on,
                                               uint32_t z_on);
/* Zeroes one axis (1 = X, 2 = Y, 3 = Z; other values send nothing). */
KORVA3_API void KORVA3_CALL KORVA3_SET_ZERO(uint32_t card, uint32_t axis);
/* Presets one axis's position in pulses (axis 1..3; other values send nothing). */
KORVA3_API void KORVA3_CALL KORVA3_PRESET_POSITION(uint32_t card, uint32_t axis,
                                                  int32_t position);
/* NC byte, passed to the card unchanged. */
KORVA3_API void KORVA3_CALL KORVA3_SET_NC(uint32_t card, uint32_t nc);

/* ---- Motion ----------------------------------------------------------------------- */

/* Immediate stop of one axis (1..3; other values send nothing). */
KORVA3_API void KORVA3_CALL KORVA3_STOP(uint32_t card, uint32_t axis);
/* Decelerating stop of one axis (1..3; other values send nothing). */
KORVA3_API void KORVA3_CALL KORVA3_DEC_STOP(uint32_t card, uint32_t axis);
/* Homing with two homing bytes (the axis's two low bits are sent). */
KORVA3_API void KORVA3_CALL KORVA3_BACK_HOME(uint32_t card, uint32_t axis,
                                            uint32_t home_byte1, uint32_t home_byte2);
/* Homing with one homing byte. */
KORVA3_API void KORVA3_CALL KORVA3_BACK_HOME01(uint32_t card, uint32_t axis,
                                              uint32_t home_byte1);
/* Relative move of `pulses` (sign = direction) at `speed` (1..2040, above is 2040,
 * 0 sends nothing). */
KORVA3_API void KORVA3_CALL KORVA3_PULSE_MOVE(uint32_t card, uint32_t axis, int32_t pulses,
                                             uint32_t speed);
/* One interpolation slice: pulses per axis, each -2047..2047 (else nothing is sent). */
KORVA3_API void KORVA3_CALL KORVA3_INTP_PULSE(uint32_t card, int32_t x_pulses,
                                             int32_t y_pulses, int32_t z_pulses);
/* Continuous motion of one axis; direction bit 0; speed as KORVA3_PULSE_MOVE. */
KORVA3_API void KORVA3_CALL KORVA3_CONSTANT_SPEED(uint32_t card, uint32_t axis,
                                                 uint32_t direction, uint32_t speed);

/* ---- Blocking interpolation -------------------------------------------------------- */
/* Targets are relative, in pulses; speed is a cap in pulses of path per slice (above
 * 2040 is 2040; 0 sends nothing). Planes: 1 = X-Y, 2 = X-Z, 3 = Y-Z.
 * A call computes the path slice by slice and hands each slice to the card, waiting
 * while the card's slice queue is full. It returns when the card has taken the last
 * slice, not when the axes have arrived: the card may still be running the slices in
 * its queue (as many as the queue holds). Wait for the end of the motion with
 * KORVA3_WAIT_X / _Y / _Z, or poll the status (ST_BUSY in KORVA3_GET_SYS after
 * KORVA3_GET_CARD) until the card is idle. It returns earlier when KORVA3_EMG_STOP
 * (from another thread) ends the path, after the slice in progress: the emergency stop
 * also empties the card's queue. It returns at once, having sent nothing, for speed 0,
 * a card number not registered, an empty path, or a path it refuses: a circle centred
 * on its start point, an arc of radius 0 or shorter than half its chord, a circle or
 * arc of 2^32 pulses or more. There is no time limit. */

KORVA3_API void KORVA3_CALL KORVA3_INTP_XYZ(uint32_t card, int32_t dx, int32_t dy, int32_t dz,
                                           uint32_t speed);
KORVA3_API void KORVA3_CALL KORVA3_INTP_LINE01(uint32_t card, uint32_t plane, int32_t du,
                                              int32_t dv, uint32_t speed);
KORVA3_API void KORVA3_CALL KORVA3_INTP_LINE(uint32_t card, int32_t du, int32_t dv,
                                            uint32_t speed);
/* Full circle around the centre (relative to the start point); direction 0 =
 * clockwise, other = counter-clockwise. */
KORVA3_API void KORVA3_CALL KORVA3_INTP_CIRCLE01(uint32_t card, uint32_t plane,
                                                int32_t center_u, int32_t center_v,
                                                uint32_t direction, uint32_t speed);
KORVA3_API void KORVA3_CALL KORVA3_INTP_CIRCLE(uint32_t card, int32_t center_u,
                                              int32_t center_v, uint32_t direction,
                                              uint32_t speed);
/* Arc to the end point; a positive radius runs the arc of at most half a turn, a
 * negative one the complementary arc. */
KORVA3_API void KORVA3_CALL KORVA3_INTP_ARC01(uint32_t card, uint32_t plane, int32_t end_u,
                                             int32_t end_v, int32_t radius,
                                             uint32_t direction, uint32_t speed);
KORVA3_API void KORVA3_CALL KORVA3_INTP_ARC(uint32_t card, int32_t end_u, int32_t end_v,
                                           int32_t radius, uint32_t direction,
                                           uint32_t speed);

/* ---- Stepwise interpolation ------------------------------------------------------- */
/* A request sets the path up and sends nothing. Result (8-bit): 1 = saved, 0 = nothing
 * to do (empty or refused path). no_ramp: 0 = trapezoidal profile, other = constant. */

KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_XYZ02(uint32_t card, int32_t dx, int32_t dy,
                                                 int32_t dz, uint32_t speed,
                                                 uint32_t no_ramp);
KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_LINE02(uint32_t card, uint32_t plane, int32_t du,
                                                  int32_t dv, uint32_t speed,
                                                  uint32_t no_ramp);
KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_CIRCLE02(uint32_t card, uint32_t plane,
                                                    int32_t center_u, int32_t center_v,
                                                    uint32_t direction, uint32_t speed,
                                                    uint32_t no_ramp);
KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_ARC02(uint32_t card, uint32_t plane,
                                                 int32_t end_u, int32_t end_v,
                                                 int32_t radius, uint32_t direction,
                                                 uint32_t speed, uint32_t no_ramp);
/* Sends the next batch of slices of the saved request (until the card makes the
 * library wait, or the path ends). Result: 1 while a request is still saved. */
KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_STOP(void);
/* Changes the saved request's speed cap, then sends the next batch. Result: 1 while
 * the request goes on. */
KORVA3_API uint32_t KORVA3_CALL KORVA3_INTP_ONLINE_SETSPEED(uint32_t speed);

/* ---- Status ----------------------------------------------------------------------- */

/* Runs a saved stepwise request on by one batch, then drains the card's status frames.
 * Result: 0 when the card's link test failed, else the last status register value. */
KORVA3_API uint32_t KORVA3_CALL KORVA3_GET_CARD(uint32_t card);
/* Fields of the last good status frame (0 before the first one). */
KORVA3_API uint32_t KORVA3_CALL KORVA3_GET_SYS(uint32_t card);
KORVA3_API uint32_t KORVA3_CALL KORVA3_GET_LIMIT(uint32_t card);
KORVA3_API uint32_t KORVA3_CALL KORVA3_GET_P1(uint32_t card);
KORVA3_API int32_t KORVA3_CALL KORVA3_GET_XC(uint32_t card);
KORVA3_API int32_t KORVA3_CALL KORVA3_GET_XP(uint32_t card);
KORVA3_API int32_t KORVA3_CALL KORVA3_GET_YC(uint32_t card);
KORVA3_API int32_t KORVA3_CALL KORVA3_GET_YP(uint32_t card);
KORVA3_API int32_t KORVA3_CALL KORVA3_GET_ZC(uint32_t card);
KORVA3_API int32_t KORVA3_CALL KORVA3_GET_ZP(uint32_t card);

#ifdef __cplusplus
}
#endif

#endif /* KORVA3_H */
