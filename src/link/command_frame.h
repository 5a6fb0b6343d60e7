/*
 * command_frame.h - commands to the card's controller.
 *
 * A command travels as a 13-byte COMMAND_FRAME, sent twice: the second copy repeats
 * bytes 0..11 and ends in the complement of the check byte. Each byte is written to
 * DATA_REG after the controller has shown ST_TX_READY in two successive waits.
 */
#ifndef KORVA_COMMAND_FRAME_H
#define KORVA_COMMAND_FRAME_H

#include <atomic>
#include <stdint.h>

#include "state/card_table.h"

/* COMMAND_FRAME layout. */
enum {
    FRAME_SYNC1 = 0x55,
    FRAME_SYNC2 = 0xAA,
    FRAME_POS_SYNC1 = 0,
    FRAME_POS_SYNC2 = 1,
    FRAME_POS_CMD = 2,
    FRAME_POS_PARAMS = 3, /* p1..p8 at 3..10 */
    FRAME_POS_SEQ = 11,
    FRAME_POS_CHECK = 12,
    FRAME_LEN = 13,
    FRAME_PARAMS = 8,
    SEQ_LAST = 80 /* seq runs 1..80, then 1 again */
};

/* Command codes of the link itself. */
enum { CMD_LINK_RESET = 0x00, CMD_LINK_TEST = 0x40 };
enum { LINK_ECHO1 = 0x80, LINK_ECHO2 = 0x37, LINK_ECHO3 = 0x46 };

/* 1 when the controller held up a byte of the last command (not ready at the first
 * look); cleared at the start of each command. Library-wide. */
extern std::atomic<uint8_t> link_waited;

/* Sends one command to card `card` (low 8 bits): advances its seq, then the 26 bytes.
 * Nothing is sent to a card number that is not bound. */
void SEND_COMMAND(uint32_t card, uint8_t cmd, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4,
                  uint8_t p5, uint8_t p6, uint8_t p7, uint8_t p8);

/* Same, with the eight parameter bytes from an array. */
void send_command_p(uint32_t card, uint8_t cmd, const uint8_t p[FRAME_PARAMS]);

/* The next value of a sequence counter: 80 or more becomes 1, else one more. */
static inline uint8_t next_seq(uint8_t seq)
{
    return seq >= SEQ_LAST ? 1 : (uint8_t)(seq + 1);
}

/* Link reset: 0 to STATUS_REG, then the all-zero command. */
void RESET_LINK(CARD_RECORD *rec, uint32_t card);

/* Link reset, link test and the wait for its echo 0x80 0x37 0x46 (20 ms, then up to 500
 * polls 2 ms apart). 1 = the controller answered. */
uint8_t CHECK_LINK(uint32_t card);

#endif
