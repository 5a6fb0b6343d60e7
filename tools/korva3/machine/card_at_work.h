// card_at_work.h - whether a card is still at work, as its status register says.
#ifndef KORVA3_TOOL_CARD_AT_WORK_H
#define KORVA3_TOOL_CARD_AT_WORK_H

#include <cstdint>

#include "korva3.h"

namespace korva3_tool {

// Status register bits that say a card is still at work: busy, X, Y or Z moving.
constexpr uint32_t kWorking = KORVA3_ST_BUSY | KORVA3_ST_X_MOVING | KORVA3_ST_Y_MOVING |
                              KORVA3_ST_Z_MOVING;

inline bool card_at_work(uint32_t card) { return (KORVA3_MSC(card) & kWorking) != 0; }

} // namespace korva3_tool

#endif
