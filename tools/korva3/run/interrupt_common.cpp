// interrupt_common.cpp - the cards to stop, kept where a signal thread may read them.
#include <atomic>

#include "run/interrupt.h"
#include "korva3.h"

namespace korva3_tool::interrupt {

namespace {
std::atomic<uint32_t> tracked{0}; // bit n: card number n
} // namespace

void track_card(uint32_t card)
{
    if (card < 16)
        tracked.fetch_or(1u << card);
}

void stop_cards()
{
    uint32_t cards = tracked.load();
    for (uint32_t n = 0; n < 16; n++)
        if (cards & (1u << n))
            KORVA3_EMG_STOP(n);
}

} // namespace korva3_tool::interrupt
