/*
 * status_frame.cpp - the status parser (what KORVA3_GET_CARD drains the mailbox with) and
 * the nine readers.
 */
#include "link/status_frame.h"

#include <string.h>

#include "korva3.h"
#include "port/card_regs.h"
#include "port/platform.h"

/* One buffer for all cards, into which a frame is read. */
static uint8_t status_buffer[STATUS_FRAME_LEN];

void status_buffer_clear(void)
{
    memset(status_buffer, 0, sizeof status_buffer);
}

static int32_t be32(const uint8_t *b)
{
    return (int32_t)((uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 |
                     (uint32_t)b[3]);
}

/* Reads the 32 frame bytes into the buffer. Returns 1 when all arrived; 0 when the
 * controller went quiet part-way (no byte for STATUS_BYTE_TIMEOUT_MS), with the last
 * status value read in *status. */
static int read_frame(uint16_t status_port, uint16_t data_port, uint8_t *status)
{
    for (int i = 0; i < STATUS_FRAME_LEN; i++) {
        uint8_t st = plat_in8(status_port);
        if (!(st & ST_RX_READY)) {
            uint32_t start = plat_clock_ms();
            while (!((st = plat_in8(status_port)) & ST_RX_READY)) {
                if ((int32_t)(plat_clock_ms() - start) >= STATUS_BYTE_TIMEOUT_MS) {
                    *status = st;
                    return 0;
                }
            }
        }
        status_buffer[i] = plat_in8(data_port);
    }
    return 1;
}

static int frame_check_ok(void)
{
    uint8_t x = 0;
    for (int i = 0; i < STATUS_POS_CHECK; i++)
        x ^= status_buffer[i];
    return x == status_buffer[STATUS_POS_CHECK];
}

static void store_frame(CARD_RECORD *rec)
{
    const uint8_t *f = status_buffer;
    rec->sys_status = f[STATUS_POS_SYS];
    rec->limit_status = f[STATUS_POS_LIMIT];
    rec->p1_status = f[STATUS_POS_P1];
    rec->status_b3 = f[STATUS_POS_B3 + 0];
    rec->status_b4 = f[STATUS_POS_B3 + 1];
    rec->status_b5 = f[STATUS_POS_B3 + 2];
    rec->status_b6 = f[STATUS_POS_B3 + 3];
    int32_t *values[STATUS_VALUES] = {&rec->xc, &rec->xp, &rec->yc,
                                      &rec->yp, &rec->zc, &rec->zp};
    for (int i = 0; i < STATUS_VALUES; i++)
        *values[i] = be32(&f[STATUS_POS_VALUES + 4 * i]);
}

uint8_t drain_status_frames(CARD_RECORD *rec)
{
    uint16_t status_port = card_port(rec->io_base, STATUS_REG);
    uint16_t data_port = card_port(rec->io_base, DATA_REG);
    uint8_t st = plat_in8(status_port);
    while (st & ST_RX_READY) {
        rec->rx_last = plat_in8(data_port);
        if (rec->rx_prev == STATUS_SYNC1 && rec->rx_last == STATUS_SYNC2) {
            if (!read_frame(status_port, data_port, &st)) {
                rec->rx_prev = rec->rx_last;
                return st; /* partial frame dropped */
            }
            if (frame_check_ok())
                store_frame(rec);
        }
        rec->rx_prev = rec->rx_last;
        st = plat_in8(status_port);
    }
    return st;
}

/* The readers: fields of the last good frame, without touching the card. */
#define STATUS_READER(name, type, field)                                   \
    extern "C" KORVA3_API type KORVA3_CALL name(uint32_t card)             \
    {                                                                      \
        const CARD_RECORD *rec = card_slot(card);                          \
        return rec ? (type)rec->field : 0;                                 \
    }

STATUS_READER(KORVA3_GET_SYS, uint32_t, sys_status)
STATUS_READER(KORVA3_GET_LIMIT, uint32_t, limit_status)
STATUS_READER(KORVA3_GET_P1, uint32_t, p1_status)
STATUS_READER(KORVA3_GET_XC, int32_t, xc)
STATUS_READER(KORVA3_GET_XP, int32_t, xp)
STATUS_READER(KORVA3_GET_YC, int32_t, yc)
STATUS_READER(KORVA3_GET_YP, int32_t, yp)
STATUS_READER(KORVA3_GET_ZC, int32_t, zc)
STATUS_READER(KORVA3_GET_ZP, int32_t, zp)
