/*
 * korva3_sim.h - control interface of the virtual machine inside korva32sim.
 *
 * korva32sim is the KORVA32 library built over a virtual machine instead of real
 * hardware: a simulated PCI bus with motion cards on it, each with a controller model,
 * an OS stand-in and a virtual millisecond clock. Tests and users' programs set the
 * machine up and look inside it through these functions; the 52 KORVA3_ functions
 * work on it exactly as on a real card.
 *
 * Card indices (0, 1, ... in the order KSIM_ADD_CARD added them) name simulated cards;
 * they are not the card numbers an application registers.
 *
 * The virtual clock: time advances by 1 microsecond per port access and by 250
 * microseconds per reading of the millisecond clock, so busy waits finish in a few
 * host steps and a one-second wait costs no real second.
 */
#ifndef KORVA3_SIM_H
#define KORVA3_SIM_H

#include "korva3.h"

#ifdef __cplusplus
extern "C" {
#endif

/* PCI IDs of the card a described machine is built with, for KSIM_ADD_CARD: vendor,
 * device, subsystem vendor and subsystem ID. */
#define KSIM_PCI_VENDOR 0xE159u
#define KSIM_PCI_DEVICE 0x0002u
#define KSIM_PCI_SUBVENDOR 0x0081u
#define KSIM_PCI_SUBSYSTEM 0x0004u

/* ---- Machine ------------------------------------------------------------------------ */

/* Empty machine: no cards, logs cleared, clock 0, OS = platform 2 version 5.1, driver
 * paths present, logging on; and every library variable back to its load value with the
 * process-attach hook run again, as if the library had just been loaded. */
KORVA3_API void KORVA3_CALL KSIM_RESET(void);

/* What the OS stand-in reports (platform id, major, minor); runs the library's
 * process-attach hook again so the library records it. */
KORVA3_API void KORVA3_CALL KSIM_SET_OS(uint32_t platform, uint32_t major, uint32_t minor);

/* Whether the port-access driver paths ("\\.\KLEMAT.VXD", "\\.\klemnt") can be opened. */
KORVA3_API void KORVA3_CALL KSIM_SET_DRIVER(uint32_t present);

/* Adds a card at bus/device (function 0) with these PCI IDs and ID switch (0..15). Its
 * I/O base is chosen by the machine (KSIM_IO_BASE). Result: the card's index, or -1
 * (bus or device above 31, place taken, or 64 cards already). On NT 5.0/5.1 each card
 * also brings one device interface of the card's class, in the order cards are added. */
KORVA3_API int32_t KORVA3_CALL KSIM_ADD_CARD(uint32_t bus, uint32_t device, uint32_t vendor_id,
                                            uint32_t device_id, uint32_t subsys_vendor,
                                            uint32_t subsys_id, uint32_t id_switch);

/* The I/O base the machine gave card `index` (0 for an unknown index). */
KORVA3_API uint32_t KORVA3_CALL KSIM_IO_BASE(int32_t index);

/* Replaces the device path of card `index`'s device interface (for long-path tests). */
KORVA3_API void KORVA3_CALL KSIM_SET_DEVICE_PATH(int32_t index, const char *path);

/* The virtual clock in milliseconds (reading it here does not advance it). */
KORVA3_API uint32_t KORVA3_CALL KSIM_CLOCK_MS(void);
/* The millisecond clock as the thread driving the machine last moved it, read from any
 * other thread (a watchdog) without entering the machine: the machine stays free of
 * locks for a program that drives it from one thread. */
KORVA3_API uint32_t KORVA3_CALL KSIM_CLOCK_VIEW_MS(void);

/* Sets the virtual clock (milliseconds), e.g. just below 2^32 to test its wrap. */
KORVA3_API void KORVA3_CALL KSIM_SET_CLOCK_MS(uint32_t ms);

/* ---- The described machine -----------------------------------------------------------
 * When the library loads it builds the machine of a description file (the file named by
 * the environment variable KORVA32_MACHINE, else korva32-machine.toml beside the
 * library; docs/virtual-machine.md), or the default machine:
 * one card at PCI bus 0, device 1, ID switch 0, Windows XP, in wall-clock time. A
 * program that calls a KSIM_ function sets the machine up itself: its first KSIM_ call
 * puts back the empty machine in virtual time (as KSIM_RESET), whatever was described
 * (the panel's functions, KSIM_PANEL_* and KSIM_SET_PACE, leave the machine as it is).
 * A description with a fault (or named but unreadable) gives a machine without cards:
 * registration finds no card, as on a PC without the card; "FILE:LINE: what is wrong"
 * goes to standard error (and the debugger's output on Windows), to the trace when the
 * description names one, and, recorded beside the "GetCard==0" box, to
 * KSIM_TAKE_MESSAGES. The default machine is built only when there is no description. */

/* Builds the machine of the description at `path` (NULL: found as at load) as if the
 * library had just been loaded with it, its clock mode and trace included. Result: 1, or
 * 0 for a bad file ("FILE:LINE: what is wrong" in error[size], which may be NULL), when
 * the machine has no card (as for a bad description at load). */
KORVA3_API uint32_t KORVA3_CALL KSIM_LOAD_MACHINE(const char *path, char *error, uint32_t size);

/* The clock: KSIM_CLOCK_VIRTUAL (time runs with the host's port accesses and clock
 * readings, and on to the card's next event while the host spins) or KSIM_CLOCK_WALL
 * (the machine's clock, and the millisecond clock the library reads, follow the host's
 * steady clock times speed_milli / 1000; 0 = 1000, real time). In wall time the cards
 * move while the program sleeps, and KSIM_ADVANCE_MS sleeps. */
enum { KSIM_CLOCK_VIRTUAL = 0, KSIM_CLOCK_WALL = 1 };
KORVA3_API void KORVA3_CALL KSIM_SET_CLOCK(uint32_t mode, uint32_t speed_milli);

/* Logging of port accesses, mailbox bytes, frames, OS calls and message boxes on (1, the
 * default) or off (0).
 * Long jobs and benchmarks turn it off; the card models work the same either way. */
KORVA3_API void KORVA3_CALL KSIM_SET_LOGGING(uint32_t on);

/* ---- Controller ----------------------------------------------------------------------- */

/* Whether card `index`'s controller answers the link test (default 1). */
KORVA3_API void KORVA3_CALL KSIM_SET_LINK(int32_t index, uint32_t answers);

/* The controller is not ready (ST_TX_READY clear) at the first look for the n-th byte
 * written to DATA_REG from now on (0 = the next byte). May be called several times. */
KORVA3_API void KORVA3_CALL KSIM_HOLD(int32_t index, uint32_t n);

/* Bytes the controller offers the host at DATA_REG, after those already waiting. Writing
 * 0 to STATUS_REG (link reset, system reset, emergency stop) clears the mailbox: bytes
 * not read by then are gone. */
KORVA3_API void KORVA3_CALL KSIM_OFFER(int32_t index, const uint8_t *bytes, uint32_t n);

/* Bytes the controller offers when the next link test command arrives, before its own
 * echo (if it answers): what a link test finds after the link reset. */
KORVA3_API void KORVA3_CALL KSIM_OFFER_ON_LINK_TEST(int32_t index, const uint8_t *bytes,
                                                   uint32_t n);

/* What DIO_REG reads (the digital inputs). */
KORVA3_API void KORVA3_CALL KSIM_SET_INPUTS(int32_t index, uint32_t value);

/* Forces bits of STATUS_REG: reads return (model AND NOT mask) OR (value AND mask).
 * mask 0 hands every bit back to the model. */
KORVA3_API void KORVA3_CALL KSIM_FORCE_STATUS(int32_t index, uint32_t mask, uint32_t value);

/* The next n reads of STATUS_REG return values[0..n-1] in turn, whatever the model
 * says; afterwards reads follow the model (and any forced bits) again. */
KORVA3_API void KORVA3_CALL KSIM_SCRIPT_STATUS(int32_t index, const uint8_t *values,
                                              uint32_t n);

/* ---- Motion in virtual time ------------------------------------------------------------
 * The controller executes what it is told as virtual time passes. Units: positions in
 * pulses; a speed value of N (KORVA3_PULSE_MOVE, KORVA3_CONSTANT_SPEED, high_speed and
 * start_speed of KORVA3_SET_VAR) is N pulses per millisecond; accel is the change of
 * speed per millisecond. Settings below take a card index, or -1 for every card now on
 * the machine and every card added later (machine-wide default). */

/* Period of one interpolation slice in microseconds (default 1000). Slices wait in an
 * input queue; while it is full the controller takes no byte (ST_TX_READY clear) and
 * the library waits. 0 = an ideal controller: slices take effect the moment they
 * arrive and never hold the host up. */
KORVA3_API void KORVA3_CALL KSIM_SET_SLICE_PERIOD_US(int32_t index, uint32_t us);

/* Slices the input queue holds (default 256, 1..65536). */
KORVA3_API void KORVA3_CALL KSIM_SET_QUEUE_SIZE(int32_t index, uint32_t slices);

/* Period of the status frames the controller writes unasked, in milliseconds (default
 * 20; 0 = none). */
KORVA3_API void KORVA3_CALL KSIM_SET_STATUS_PERIOD_MS(int32_t index, uint32_t ms);

/* Limit switches of axis 1..3 at positions low and high: reaching one stops the axis
 * and sets its bit in the limit byte. low > high (the default) means no limits. */
KORVA3_API void KORVA3_CALL KSIM_SET_LIMITS(int32_t index, uint32_t axis, int32_t low,
                                           int32_t high);

/* The home switch of axis 1..3 at this position (default 0), where homing stops. */
KORVA3_API void KORVA3_CALL KSIM_SET_HOME(int32_t index, uint32_t axis, int32_t position);

/* Lets `ms` milliseconds of virtual time pass, as a program that sleeps would. */
KORVA3_API void KORVA3_CALL KSIM_ADVANCE_MS(uint32_t ms);

/* The commanded position of axis 1..3, in pulses. */
KORVA3_API int32_t KORVA3_CALL KSIM_POSITION(int32_t index, uint32_t axis);

/* The path the card executed since the last call: one record of 4 values (virtual
 * time in ms, X, Y, Z commanded positions) each time a position changed (after each
 * executed slice, after each millisecond of single-axis motion, and when an axis's
 * coordinates changed: home switch found, zero set, position preset), written to
 * out[4 * max]. Result: records taken. Recorded also while logging is off (bounded). */
KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_MOTION(int32_t index, int32_t *out, uint32_t max);

/* Watching a run as it happens, for long jobs whose records would not fit in memory.
 * The frame sink gets every good command a card executes (13 bytes: 55 AA cmd p1..p8 seq
 * check); the motion sink every change of a card's commanded positions, with the virtual
 * time in microseconds and what moved it (KSIM_MOVED_BY_*). While a sink is set, the
 * frame log (KSIM_TAKE_FRAMES) or the motion log (KSIM_TAKE_MOTION) is not filled. The
 * sinks run inside the machine: they must not call any KSIM_ or KORVA3_ function.
 * Null turns a sink off; KSIM_RESET turns both off. */
enum {
    KSIM_MOVED_BY_SLICE = 1, /* an interpolation slice */
    KSIM_MOVED_BY_AXIS = 2,  /* a millisecond of single-axis motion (move, homing, ...) */
    KSIM_MOVED_BY_ORIGIN = 4 /* new coordinates, the axis stood: home found, zero, preset */
};
typedef void(KORVA3_CALL *KSIM_FRAME_SINK)(void *user, int32_t index, const uint8_t *frame);
typedef void(KORVA3_CALL *KSIM_MOTION_SINK)(void *user, int32_t index, uint64_t time_us,
                                            int32_t x, int32_t y, int32_t z, uint32_t moved_by);
KORVA3_API void KORVA3_CALL KSIM_SET_SINKS(KSIM_FRAME_SINK frames, KSIM_MOTION_SINK motion,
                                          void *user);

/* Faults to inject, in the manner of a test VFS. KSIM_FAULT_NONE clears them all. */
enum {
    KSIM_FAULT_NONE = 0,           /* clear every fault */
    KSIM_FAULT_SILENT = 1,         /* offer no byte to the host (no status, no echo) */
    KSIM_FAULT_STALL_STATUS = 2,   /* the next status frame stops after n of its bytes */
    KSIM_FAULT_CORRUPT_STATUS = 3, /* the next n status frames carry a wrong check byte */
    KSIM_FAULT_NEVER_READY = 4     /* ST_TX_READY never set again */
};
KORVA3_API void KORVA3_CALL KSIM_FAULT(int32_t index, uint32_t fault, uint32_t n);

/* ---- What the card received ------------------------------------------------------------ */

/* Commands the controller took since the last call, each as its first 13-byte copy,
 * written to out (13 bytes each, at most max commands). Result: the count written. */
KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_FRAMES(int32_t index, uint8_t *out, uint32_t max);

/* How many commands arrived whose second copy did not match the first (never cleared
 * except by KSIM_RESET). */
KORVA3_API uint32_t KORVA3_CALL KSIM_BAD_COMMANDS(int32_t index);

/* Every byte written to the card's DATA_REG since the last call (at most max). */
KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_BYTES(int32_t index, uint8_t *out, uint32_t max);

/* Every port write since the last call, in order: port, value, width in bits (8, 16,
 * 32). Any pointer may be null. Result: the count taken (at most max). */
KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_PORT_WRITES(uint16_t *ports, uint32_t *values,
                                                     uint8_t *widths, uint32_t max);

/* Every port read since the last call, likewise (the value is what the read returned). */
KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_PORT_READS(uint16_t *ports, uint32_t *values,
                                                    uint8_t *widths, uint32_t max);

/* Message boxes shown since the last call, one "caption: text" a line, NUL-terminated
 * in text[size]. Result: the number of messages taken. */
KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_MESSAGES(char *text, uint32_t size);

/* OS calls since the last call, one a line: "open PATH rw=N -> H" (H = -1 when
 * refused), "close H", "interface N -> PATH" or "interface N -> none". */
KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_OS_CALLS(char *text, uint32_t size);

/* How many device handles are open now. */
KORVA3_API uint32_t KORVA3_CALL KSIM_OPEN_HANDLES(void);

/* ---- What the card understood ------------------------------------------------------------ */

/* Sum of the pulses the card received for axis 1..3 (X, Y, Z) in interpolation slices. */
KORVA3_API int32_t KORVA3_CALL KSIM_AXIS_PULSES(int32_t index, uint32_t axis);

/* The last value written to the card's DIO_REG (outputs and reset line). */
KORVA3_API uint32_t KORVA3_CALL KSIM_OUTPUTS(int32_t index);

/* How often the reset line was held high for 50 ms or more (controller resets). */
KORVA3_API uint32_t KORVA3_CALL KSIM_RESETS(int32_t index);

/* A value the controller keeps, by name; axis 1..3 where the value is per axis
 * (ignored otherwise). Unknown names give 0. Names:
 *   "mode" (axis)         control mode byte          "defdir" (axis)   0/1
 *   "servo_on" (axis)     0/1                        "nc"              NC byte
 *   "card_var" "accel" "start_speed" "high_speed"    speed parameters as received
 *   "position" (axis)     pulses: zeroed/preset, plus interpolation pulses
 *   "last_cmd" (axis)     code of the last home/move/constant-speed/stop for the axis
 *   "last_pulses" (axis)  signed pulses of the last KORVA3_PULSE_MOVE
 *   "last_speed" (axis)   speed of the last move or constant-speed command
 *   "last_dir" (axis)     direction bit of the last move or constant-speed command
 *   "last_home1" "last_home2" (axis)  homing bytes of the last homing command
 *   "commands"            commands taken in all      "intp_frames"     slices taken
 *   "system_resets"       commands 50 then 48 seen (a system reset)
 *   "slice_period_us"     the slice period now
 */
KORVA3_API int32_t KORVA3_CALL KSIM_CARD_VALUE(int32_t index, const char *name, uint32_t axis);

/* ---- The library, seen from inside --------------------------------------------------------
 * For tests: the library's own variables by name, read without side effects.
 *   per card (index = card number 0..15): "io_base" "link_ok" "do_shadow" "seq"
 *       "rx_prev" "rx_last"
 *   library-wide (index ignored): "link_waited" "step_mode" "engine_phase"
 *       "intp_enabled" "phase" "total_length" "remaining" "step" "decelerating"
 *       "travelled" "card_var" "accel" "start_speed" "high_speed" "spare_var"
 *       "pci_count" "pci_scanned" "driver_open" "os_platform" "os_major" "os_minor"
 * Unknown names give 0xFFFFFFFF. */
KORVA3_API uint32_t KORVA3_CALL KSIM_LIB_VALUE(const char *name, uint32_t index);

/* Double fields of the interpolation state by name: "path_length" "path_radius"
 * "path_angle" "central_angle" "chord_angle" "chord_radius_angle" "arc_center_u"
 * "arc_center_v" "target_u" "target_v" "target_w" "ideal_u" "ideal_v" "ideal_w" "sent_u"
 * "sent_v" "sent_w". Unknown names give NaN. */
KORVA3_API double KORVA3_CALL KSIM_LIB_DOUBLE(const char *name);

/* The library's PCI table lookup: copies entry `index` (io_base, irq, subsys_vendor,
 * subsys_id, id_high, bus, device, card_id) to out[8]. Result as the library's own:
 * 0 copied, 3 a needed scan failed, 5 no such entry. */
KORVA3_API uint32_t KORVA3_CALL KSIM_LIB_PCI_ENTRY(uint32_t index, uint32_t *out);

/* ---- Front panel and pace ------------------------------------------------------------------
 * A page in the browser that shows every card (positions, busy and moving bits, slice
 * queue, frames, last command, link, the XY path as it grows) and lets a person flip its
 * inputs and its limit and home switches, press its emergency stop and inject faults
 * while a program runs. Served on 127.0.0.1 only; the address carries a random token
 * that every request must bring; requests from other origins are refused. Off unless
 * started. The machine never waits for the page. Not in Windows builds (START gives -1). */

/* Starts the panel on 127.0.0.1:port. port: the port to listen on, 1..65535, or 0 for
 * any free port (-1 is not "any": it is 4294967295, no port, and fails). Result: the port
 * the panel listens on (the chosen one for 0), or -1 when it could not start (the port
 * is taken or is no port, or this build has no panel). Started twice, the running
 * panel's port. KSIM_RESET keeps it running (the page's paths start again). */
KORVA3_API int32_t KORVA3_CALL KSIM_PANEL_START(uint32_t port);

/* The address to open ("http://127.0.0.1:PORT/?token=..."), NUL-terminated in text[size].
 * Result: its length (0 while the panel is off). */
KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_URL(char *text, uint32_t size);

/* Stops the panel; its pages lose the machine. */
KORVA3_API void KORVA3_CALL KSIM_PANEL_STOP(void);

/* 1 while the emergency stop of card `index` is pressed on the panel (latched: the card
 * moves nothing until it is released there), else 0. Any thread may ask, at any time:
 * it never enters the machine nor sets it up anew. */
KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_ESTOP(int32_t index);

/* Jog and homing on the panel, for a program that drives an idle machine (korva3 panel).
 * The page only records what the operator presses, one request per card at a time; the
 * program takes it on the thread that drives the card, applies it with the KORVA3_
 * functions and says what came of it. None of these enters the machine. */
#define KSIM_PANEL_JOG 1  /* a step jog: one axis by a number of pulses */
#define KSIM_PANEL_HOME 2 /* homing of one axis, or of every axis (axis 0) */

/* on = 1 shows the jog and homing buttons in the page's Operator part and lets the page
 * record requests; 0 (the default) hides them and drops requests not yet taken. */
KORVA3_API void KORVA3_CALL KSIM_PANEL_OFFER_JOG(uint32_t on);

/* The oldest request pressed on the page, if one waits: the virtual card's index, its
 * kind (KSIM_PANEL_JOG or KSIM_PANEL_HOME), the axis (1..3; 0 for homing: every axis)
 * and, for a jog, the step in pulses (signed, never 0). Result: 1 with one taken (the
 * card then counts as busy: the page refuses more until KSIM_PANEL_REPORT says it is
 * not), 0 when none waits. Null pointers are allowed. */
KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_TAKE_REQUEST(int32_t *index, uint32_t *kind,
                                                       uint32_t *axis, int32_t *pulses);

/* What the program does with card `index`'s requests: busy 1 while its jog or homing
 * runs, 0 once it has ended (the page takes the next request then); text: one line the
 * page shows under the jog buttons (null: none; printable ASCII, at most 160 bytes). The
 * page's own refusals (emergency stop pressed, a jog already running) show there too. */
KORVA3_API void KORVA3_CALL KSIM_PANEL_REPORT(int32_t index, uint32_t busy, const char *text);

/* The unit the page shows axis `axis` (1..3) of card `index` (-1: every card) in:
 * pulses_per_mm above 0 shows millimetres (positions, speeds in mm/min, jog steps of
 * 0.01 to 10 mm), 0 shows pulses (the default; speeds in pulses/s, steps of 1 to 1000). */
KORVA3_API void KORVA3_CALL KSIM_PANEL_SET_SCALE(int32_t index, uint32_t axis,
                                                double pulses_per_mm);
/* ---- The running job on the panel (additions; see docs/panel.md) ----------------------
 * A program may show its job on the panel and take the operator's controls for it: it
 * describes the job once before it moves, publishes what the job is doing as it goes,
 * and reads the operator's requests on its own thread, where it applies them to its
 * card (the panel never sends the card anything for them). Neither call waits for the
 * panel. korva3 with --panel does this for G-code programs and jobs. */

/* Controls a job takes: the page offers only these. */
#define KSIM_JOB_OVERRIDE 1u /* feed override, 1..1000 % */
#define KSIM_JOB_HOLD 2u     /* feed hold and resume */
#define KSIM_JOB_STOP 4u     /* a controlled stop that ends the program */
#define KSIM_JOB_START 8u    /* cycle start: the program waits for it before it moves */
#define KSIM_JOB_COMMANDS 16u /* the operator's lines (KSIM_PANEL_TAKE_COMMAND) */

/* Requests read by KSIM_PANEL_JOB_REQUESTS. */
#define KSIM_REQUEST_HOLD 1u /* feed hold wanted (cleared by resume) */
#define KSIM_REQUEST_STOP 2u /* stop wanted (until the next job) */
#define KSIM_REQUEST_START 4u /* cycle start pressed (until the next job) */

/* The job the page shows: `description` is a JSON object (at most 1 MiB): "name",
 * "kind" ("gcode" or "job"), "scale" (pulses per mm, X Y Z), "origin" (the card's
 * pulses where the planned path starts), "path" ([[x, y, rapid], ...] in mm from the
 * origin: drawn before the job moves), "planned_ms", "lines". NULL: no job. `controls`:
 * KSIM_JOB_* bits. The requests start again (override 100 %, no hold, no stop).
 * Result: 1 taken, 0 too long (nothing changed). */
KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_JOB(const char *description, uint32_t controls);

/* What the job is doing now: a JSON object (at most 8 KiB): "line", "listing"
 * ([[line, text], ...] around it), "done" (0..1), "left_ms", "programmed" (its F, mm/min),
 * "feed" (that times the override; a rapid's speed), "rapid", "override", "state" ("running", "held", "stopping",
 * "ended"), "end" (how it ended). Result: 1 taken; 0 not taken (too long, or the panel
 * is reading the last one: publish again at the next step). Never waits. */
KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_JOB_STATE(const char *state);

/* The operator's requests for the job: KSIM_REQUEST_* bits; the feed override in
 * *override_percent (1..1000; NULL: not asked). Any thread; never waits. */
KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_JOB_REQUESTS(uint32_t *override_percent);

/* The operator's next line for a job that takes KSIM_JOB_COMMANDS (the page's
 * `do=line&text=...`: MDI, jogs, touch-off, ...; the program gives them their meaning and
 * says how each went in its state). Copied with its NUL into text, which must hold at
 * least 257 bytes. Result: its length, 0 when none waits (or text is too small). At most
 * 16 wait, each 1..256 printable bytes. Any thread; never waits for the panel. */
KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_TAKE_COMMAND(char *text, uint32_t size);

/* Holds virtual time to at most percent % of the wall clock (100 = real time, so a person
 * can watch); 0 (the default) lets it run as fast as the host can. The program's port
 * accesses, clock readings and KSIM_ADVANCE_MS wait for the wall clock as needed. A
 * machine on the wall clock (KSIM_CLOCK_WALL) keeps its own speed: there the pace only
 * holds back a program that has run the machine ahead of the wall clock. */
KORVA3_API void KORVA3_CALL KSIM_SET_PACE(uint32_t percent);

#ifdef __cplusplus
}
#endif

#endif /* KORVA3_SIM_H */
