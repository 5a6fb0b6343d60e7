/* card_table.cpp - the registered-card table and its guards. */
#include "card/card_table.h"

#include "port/platform.h"

CARD_RECORD card_table[CARD_COUNT];

CARD_RECORD *CARD_SLOT(uint32_t card)
{
    uint8_t n = (uint8_t)card;
    return n < CARD_COUNT ? &card_table[n] : nullptr;
}

CARD_RECORD *BOUND_CARD(uint32_t card)
{
    CARD_RECORD *rec = CARD_SLOT(card);
    return rec && rec->io_base != 0 && plat_ports_usable() ? rec : nullptr;
}
