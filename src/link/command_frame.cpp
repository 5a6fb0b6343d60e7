/*
 * command_frame.cpp - the frame encoder and the byte handshake: SEND_BYTE,
 * SEND_COMMAND, RESET_LINK, CHECK_LINK.
 */
#include "link/command_frame.h"

#include "port/card_regs.h"
#include "port/delay.h"
#include "port/platform.h"

std::atomic<uint8_t> link_waited;

/* Waits until the controller shows ST_TX_READY; notes a hold-up when the first look
 * finds it clear. No time limit: a controller that never gets ready holds the caller. */
static void wait_tx_ready(uint16_t status_port)
{
    if (plat_in8(status_port) & ST_TX_READY)
        return;
    link_waited.store(1, std::memory_order_relaxed);
    while (!(plat_in8(status_port) & ST_TX_READY)) {
    }
}

/* One byte to the mailbox: two waits for ST_TX_READY, then, once this command has been
 * held up, 5 ms before every byte. */
static void SEND_BYTE(uint32_t io_base, uint8_t value)
{
    uint16_t status_port = card_port(io_base, STATUS_REG);
    wait_tx_ready(status_port);
    wait_tx_ready(status_port);
    if (link_waited.load(std::memory_order_relaxed))
        DELAY_MS(5);
    plat_out8(card_port(io_base, DATA_REG), value);
}

void send_command_p(uint32_t card, uint8_t cmd, const uint8_t p[FRAME_PARAMS])
{
    CARD_RECORD *rec = bound_card(card);
    if (!rec)
        return;

    link_waited.store(0, std::memory_order_relaxed);
    const uint8_t seq = next_seq(rec->seq.load(std::memory_order_relaxed));
    rec->seq.store(seq, std::memory_order_relaxed);

    uint8_t frame[FRAME_LEN];
    frame[FRAME_POS_SYNC1] = FRAME_SYNC1;
    frame[FRAME_POS_SYNC2] = FRAME_SYNC2;
    frame[FRAME_POS_CMD] = cmd;
    uint8_t check = (uint8_t)(seq ^ cmd);
    for (int i = 0; i < FRAME_PARAMS; i++) {
        frame[FRAME_POS_PARAMS + i] = p[i];
        check ^= p[i];
    }
    frame[FRAME_POS_SEQ] = seq;
    frame[FRAME_POS_CHECK] = check;

    for (int i = 0; i < FRAME_LEN; i++)
        SEND_BYTE(rec->io_base, frame[i]);
    frame[FRAME_POS_CHECK] = (uint8_t)~check; /* the second copy ends in the complement */
    for (int i = 0; i < FRAME_LEN; i++)
        SEND_BYTE(rec->io_base, frame[i]);
}

void SEND_COMMAND(uint32_t card, uint8_t cmd, uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4,
                  uint8_t p5, uint8_t p6, uint8_t p7, uint8_t p8)
{
    const uint8_t p[FRAME_PARAMS] = {p1, p2, p3, p4, p5, p6, p7, p8};
    send_command_p(card, cmd, p);
}

void RESET_LINK(CARD_RECORD *rec, uint32_t card)
{
    plat_out8(card_port(rec->io_base, STATUS_REG), 0);
    SEND_COMMAND(card, CMD_LINK_RESET, 0, 0, 0, 0, 0, 0, 0, 0);
}

enum { LINK_TEST_SETTLE_MS = 20, LINK_TEST_POLLS = 500, LINK_TEST_POLL_MS = 2 };

uint8_t CHECK_LINK(uint32_t card)
{
    CARD_RECORD *rec = bound_card(card);
    if (!rec)
        return 0;
    RESET_LINK(rec, card);
    SEND_COMMAND(card, CMD_LINK_TEST, LINK_ECHO1, LINK_ECHO2, LINK_ECHO3, 0, 0, 0, 0, 0);
    DELAY_MS(LINK_TEST_SETTLE_MS);

    uint16_t status_port = card_port(rec->io_base, STATUS_REG);
    uint16_t data_port = card_port(rec->io_base, DATA_REG);
    uint8_t older = 0, previous = 0;
    for (int poll = 0; poll < LINK_TEST_POLLS; poll++) {
        if (plat_in8(status_port) & ST_RX_READY) {
            uint8_t b = plat_in8(data_port);
            if (older == LINK_ECHO1 && previous == LINK_ECHO2 && b == LINK_ECHO3)
                return 1;
            older = previous;
            previous = b;
        }
        DELAY_MS(LINK_TEST_POLL_MS);
    }
    return 0;
}
