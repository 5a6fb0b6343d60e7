// card_status.h - what the card's status register (KORVA3_MSC, KORVA3_GET_CARD; its bits
// in korva3.h) says about the card's work: the planner's stream and the korva3 tool
// read it the same way.
#ifndef KORVA3_PLANNER_CARD_STATUS_H
#define KORVA3_PLANNER_CARD_STATUS_H

#include <cstdint>

#include "korva3.h"

namespace korva3_planner {

// The bits that say a card is still at work: busy with a command, or X, Y or Z moving.
constexpr uint32_t kCardAtWork =
    KORVA3_ST_BUSY | KORVA3_ST_X_MOVING | KORVA3_ST_Y_MOVING | KORVA3_ST_Z_MOVING;

// Whether a status register value says the card is still at work.
inline bool at_work(uint32_t status) { return (status & kCardAtWork) != 0; }

} // namespace korva3_planner

#endif
