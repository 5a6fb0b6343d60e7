/*
 * status_frame.h - status reports from the card's controller.
 *
 * On the wire: the sync pair 0x55 0xAA, then the 32-byte STATUS_FRAME below (values
 * most significant byte first). The controller writes them unasked; KORVA3_GET_CARD
 * drains them.
 */
#ifndef KORVA_STATUS_FRAME_H
#define KORVA_STATUS_FRAME_H

#include <stdint.h>

#include "state/card_table.h"

enum {
    STATUS_SYNC1 = 0x55,
    STATUS_SYNC2 = 0xAA,
    STATUS_POS_SYS = 0,
    STATUS_POS_LIMIT = 1,
    STATUS_POS_P1 = 2,
    STATUS_POS_B3 = 3,       /* 3..6: kept, not interpreted */
    STATUS_POS_VALUES = 7,   /* xc, xp, yc, yp, zc, zp: six signed 32-bit values */
    STATUS_VALUES = 6,
    STATUS_POS_CHECK = 31,   /* XOR of bytes 0..30 */
    STATUS_FRAME_LEN = 32
};

/* How long the reader waits for each byte of a frame whose sync pair it has seen
 * (milliseconds on the clock). A controller writes a whole frame at once, so this is
 * ample; a frame that stops part-way is dropped like one with a bad check byte. */
enum { STATUS_BYTE_TIMEOUT_MS = 5 };

/* Reads every byte waiting in card rec's output mailbox, finds frames by their sync pair
 * (rx_prev, rx_last carry it from call to call) and stores the fields of each good one
 * in the record. Returns the last STATUS_REG value read: ST_RX_READY is clear in it,
 * unless a frame stopped part-way (then dropped). */
uint8_t drain_status_frames(CARD_RECORD *rec);

/* Zeroes the shared frame buffer, as at load. */
void status_buffer_clear(void);

#endif
