/*
 * direct_regs.cpp - functions that reach the card's registers directly: digital I/O,
 * the mailbox status, the axis waits and stop queries. (The resets through the reset
 * line are commands/controller_reset.cpp.)
 */
#include <stdint.h>

#include "korva3.h"
#include "port/card_regs.h"
#include "port/delay.h"
#include "port/platform.h"
#include "state/card_table.h"

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_DI(uint32_t card)
{
    const CARD_RECORD *rec = bound_card(card);
    return rec ? plat_in8(card_port(rec->io_base, DIO_REG)) : 0;
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_DO(uint32_t card, uint32_t value)
{
    CARD_RECORD *rec = bound_card(card);
    if (!rec)
        return;
    const uint8_t outputs = (uint8_t)(value & DIO_OUTPUTS); /* never the reset line */
    rec->do_shadow.store(outputs, std::memory_order_relaxed);
    plat_out8(card_port(rec->io_base, DIO_REG), outputs);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_MSC(uint32_t card)
{
    const CARD_RECORD *rec = bound_card(card);
    return rec ? plat_in8(card_port(rec->io_base, STATUS_REG)) : 0;
}

/* ---- Waits and stop queries: one family, differing only in the motion bit ---------- */

static const CARD_RECORD *linked_card(uint32_t card)
{
    const CARD_RECORD *rec = bound_card(card);
    return rec && rec->link_ok ? rec : nullptr;
}

/* Returns when the controller is not busy and the axis's motion bit has been seen
 * clear twice, 5 ms apart. No time limit. */
static void wait_axis(uint32_t card, uint8_t moving_bit)
{
    const CARD_RECORD *rec = linked_card(card);
    if (!rec)
        return;
    uint16_t status_port = card_port(rec->io_base, STATUS_REG);
    DELAY_MS(10);
    while (plat_in8(status_port) & ST_BUSY) {
    }
    while (plat_in8(status_port) & moving_bit) {
    }
    DELAY_MS(5);
    while (plat_in8(status_port) & moving_bit) {
    }
}

static uint32_t axis_stopped(uint32_t card, uint8_t moving_bit)
{
    const CARD_RECORD *rec = linked_card(card);
    if (!rec)
        return 0;
    uint16_t status_port = card_port(rec->io_base, STATUS_REG);
    DELAY_MS(10);
    if (plat_in8(status_port) & ST_BUSY)
        return 0;
    return (plat_in8(status_port) & moving_bit) ? 0 : 1;
}

extern "C" KORVA3_API void KORVA3_CALL KORVA3_WAIT_X(uint32_t card) { wait_axis(card, ST_X_MOVING); }
extern "C" KORVA3_API void KORVA3_CALL KORVA3_WAIT_Y(uint32_t card) { wait_axis(card, ST_Y_MOVING); }
extern "C" KORVA3_API void KORVA3_CALL KORVA3_WAIT_Z(uint32_t card) { wait_axis(card, ST_Z_MOVING); }

extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_IS_X_STOP(uint32_t card)
{
    return axis_stopped(card, ST_X_MOVING);
}
extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_IS_Y_STOP(uint32_t card)
{
    return axis_stopped(card, ST_Y_MOVING);
}
extern "C" KORVA3_API uint32_t KORVA3_CALL KORVA3_IS_Z_STOP(uint32_t card)
{
    return axis_stopped(card, ST_Z_MOVING);
}
