// machine_link.cpp - where a card stands, from its status frames.
#include "control/machine_link.h"

#include "korva3.h"

namespace korva3_control {

bool MachineLink::position(uint32_t card, std::array<int32_t, 3> &xyz)
{
    KORVA3_GET_CARD(card);
    xyz = {static_cast<int32_t>(KORVA3_GET_XC(card)), static_cast<int32_t>(KORVA3_GET_YC(card)),
           static_cast<int32_t>(KORVA3_GET_ZC(card))};
    return true;
}

} // namespace korva3_control
