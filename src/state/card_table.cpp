/* card_table.cpp - the registered-card table and its guards. */
#include "state/card_table.h"

#include "port/platform.h"

CARD_RECORD card_table[CARD_COUNT];

void card_table_clear(void)
{
    for (CARD_RECORD &rec : card_table) {
        rec.io_base = 0;
        rec.link_ok = rec.rx_prev = rec.rx_last = 0;
        rec.do_shadow.store(0, std::memory_order_relaxed);
        rec.resetting.store(0, std::memory_order_relaxed);
        rec.seq.store(0, std::memory_order_relaxed);
        rec.sys_status = rec.limit_status = rec.p1_status = 0;
        rec.status_b3 = rec.status_b4 = rec.status_b5 = rec.status_b6 = 0;
        rec.xc = rec.xp = rec.yc = rec.yp = rec.zc = rec.zp = 0;
    }
}

CARD_RECORD *card_slot(uint32_t card)
{
    uint8_t n = (uint8_t)card;
    return n < CARD_COUNT ? &card_table[n] : nullptr;
}

CARD_RECORD *bound_card(uint32_t card)
{
    CARD_RECORD *rec = card_slot(card);
    return rec && rec->io_base != 0 && plat_ports_usable() ? rec : nullptr;
}
