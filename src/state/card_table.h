/*
 * card_table.h - CARD_RECORD, the registered-card table indexed by card number.
 */
#ifndef KORVA_CARD_TABLE_H
#define KORVA_CARD_TABLE_H

#include <atomic>
#include <stdint.h>

enum { CARD_COUNT = 16 };

struct CARD_RECORD {
    uint32_t io_base;      /* the card's I/O base (low 16 bits); 0 = never bound */
    uint8_t  link_ok;      /* 1 = link test passed at the last binding */
    /* Last value written to DIO_REG (outputs 0..6, reset line). A stop from a second
     * thread reads and writes it while the driving thread may set the outputs: a relaxed
     * atomic byte. */
    std::atomic<uint8_t> do_shadow;
    /* 1 while a stop or system reset runs its reset-line sequence on this card: the
     * guard that makes two of them take turns (commands/controller_reset.cpp). */
    std::atomic<uint8_t> resetting;
    /* Command sequence counter, 1..80. A path's thread and a second thread's system reset
     * both send commands, so it is a relaxed atomic byte like the other shared flags. */
    std::atomic<uint8_t> seq;
    uint8_t  rx_prev;      /* byte read before rx_last while hunting for a sync pair */
    uint8_t  rx_last;      /* last byte read by the status reader */
    uint8_t  sys_status;   /* fields of the last good status frame */
    uint8_t  limit_status;
    uint8_t  p1_status;
    uint8_t  status_b3, status_b4, status_b5, status_b6; /* kept, not interpreted */
    int32_t  xc, xp, yc, yp, zc, zp;                     /* the six axis values */
};

extern CARD_RECORD card_table[CARD_COUNT];

/* Every record back to "never bound", every field 0. */
void card_table_clear(void);

/* The record of card number `card` (low 8 bits) when it may be used to reach a card:
 * null for numbers of 16 or more (no record), for records never bound (no I/O base:
 * their ports would be ports 0..200 of the machine itself), and while the system grants
 * no port access (after KORVA3_END has given it back, say). */
CARD_RECORD *bound_card(uint32_t card);

/* The record of card number `card` (low 8 bits), bound or not; null for 16 or more. */
CARD_RECORD *card_slot(uint32_t card);

#endif
