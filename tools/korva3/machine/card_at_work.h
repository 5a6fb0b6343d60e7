// card_at_work.h - whether a card is still at work, as its status register says.
#ifndef KORVA3_TOOL_CARD_AT_WORK_H
#define KORVA3_TOOL_CARD_AT_WORK_H

#include <cstdint>

#include "korva3.h"
#include "planner/card_status.h"

namespace korva3_tool {

// Busy, or X, Y or Z moving (korva3_planner::kCardAtWork), read live from the card.
inline bool card_at_work(uint32_t card) { return korva3_planner::at_work(KORVA3_MSC(card)); }

} // namespace korva3_tool

#endif
