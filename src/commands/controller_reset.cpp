/*
 * controller_reset.cpp - the resets through the controller's reset line:
 * KORVA3_RESET_SYSTEM and the emergency stop KORVA3_STOP_ALL (also KORVA3_EMG_STOP).
 * Both may be called from a second thread while the first runs a path.
 */
#include <stdint.h>

#include "commands/command_codes.h"
#include "korva3.h"
#include "link/command_frame.h"
#include "port/card_regs.h"
#include "port/delay.h"
#include "port/platform.h"
#include "state/card_table.h"
#include "state/intp_state.h"
#include "state/step_request.h"

enum { RESET_ZEROS_BEFORE = 15, RESET_ZEROS_AFTER = 30, RESET_HOLD_MS = 50, RESET_SETTLE_MS = 10 };

static void raw_zeros(uint16_t data_port, int n)
{
    for (int i = 0; i < n; i++)
        plat_out8(data_port, 0); /* no handshake */
}

/* Two stoppers of one card (an emergency-stop button's thread and a watchdog, say) take
 * turns: each runs its whole reset-line sequence while it holds the card's `resetting`
 * guard, and the second waits for the first to finish, busy like every wait of the
 * library. The wait is bounded because the sequence is (the slice it lets finish, the
 * pulse and the settling time on the clock, 48 writes without a handshake), so a stop
 * never waits long behind another. The system reset's two commands come after the turn
 * is over: they wait for the controller without a time limit. The path's slices never
 * touch the guard. */
static void take_turn(CARD_RECORD *rec)
{
    while (rec->resetting.exchange(1, std::memory_order_acquire) != 0) {
        while (rec->resetting.load(std::memory_order_relaxed) != 0) {
        }
    }
}

static void end_turn(CARD_RECORD *rec)
{
    rec->resetting.store(0, std::memory_order_release);
}

/* The outputs with the reset line high (a pulse begins) or low (it ends): those kept
 * (emergency stop) or all 0 (system reset). */
static uint8_t reset_line(uint8_t outputs, int high, int keep_outputs)
{
    const uint8_t kept = keep_outputs ? (uint8_t)(outputs & DIO_OUTPUTS) : 0;
    return high ? (uint8_t)(kept | DIO_RESET) : kept;
}

/* Pulses the controller's reset line. keep_outputs: the application's outputs stay as
 * they are around the pulse (emergency stop); otherwise they go to 0 (system reset).
 * Whatever the card number, the host side stops: no stepwise request stays saved and a
 * path running in another thread ends after its slice in progress. That slice is let
 * finish (bounded) before the reset, so the reset clears it too and the card stands
 * after the pulse, instead of taking the path's next slices during the pulse and the
 * settling time. */
enum { SLICE_IN_PROGRESS_MAX_MS = 200 };

static CARD_RECORD *reset_controller(uint32_t card, int keep_outputs)
{
    clear_step_mode();
    intp_enabled.store(0);
    CARD_RECORD *rec = bound_card(card);
    if (!rec)
        return nullptr;
    take_turn(rec);
    wait_for_slice_in_progress(SLICE_IN_PROGRESS_MAX_MS);
    uint16_t data_port = card_port(rec->io_base, DATA_REG);
    uint16_t dio_port = card_port(rec->io_base, DIO_REG);

    plat_out8(card_port(rec->io_base, STATUS_REG), 0);
    raw_zeros(data_port, RESET_ZEROS_BEFORE);
    uint8_t dio = reset_line(rec->do_shadow.load(std::memory_order_relaxed), 1, keep_outputs);
    rec->do_shadow.store(dio, std::memory_order_relaxed);
    plat_out8(dio_port, dio);
    DELAY_MS(RESET_HOLD_MS);
    dio = reset_line(rec->do_shadow.load(std::memory_order_relaxed), 0, keep_outputs);
    rec->do_shadow.store(dio, std::memory_order_relaxed);
    plat_out8(dio_port, dio);
    DELAY_MS(RESET_SETTLE_MS);
    intp_enabled.store(0);
    raw_zeros(data_port, RESET_ZEROS_AFTER);
    end_turn(rec);
    return rec;
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_RESET_SYSTEM(uint32_t card)
{
    if (!reset_controller(card, 0))
        return;
    SEND_COMMAND(card, CMD_SYSTEM_RESET_1, 0, 0, 0, 0, 0, 0, 0, 0);
    SEND_COMMAND(card, CMD_SYSTEM_RESET_2, 0, 0, 0, 0, 0, 0, 0, 0);
}

/* Emergency stop. Exported twice: as KORVA3_STOP_ALL and, at the same address, as
 * KORVA3_EMG_STOP. Shared-object builds make the second name here; where the build
 * exports through .def files (KORVA3_ALIASES_IN_DEF: Windows), the .def names
 * KORVA3_STOP_ALL's address twice, as a C alias cannot name a 32-bit stdcall symbol. */
extern "C" KORVA3_API void KORVA3_CALL KORVA3_STOP_ALL(uint32_t card)
{
    reset_controller(card, 1);
}

#ifndef KORVA3_ALIASES_IN_DEF
extern "C" KORVA3_API void KORVA3_CALL KORVA3_EMG_STOP(uint32_t card)
    __attribute__((alias("KORVA3_STOP_ALL")));
#endif
