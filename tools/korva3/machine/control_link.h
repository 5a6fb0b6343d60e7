// control_link.h - the machine behind the tool as the controller sees it: the virtual
// machine's clock and positions (or the host's and the status frames' on real cards),
// and the panel's emergency stop of the card the controller drives.
#ifndef KORVA3_TOOL_CONTROL_LINK_H
#define KORVA3_TOOL_CONTROL_LINK_H

#include "control/machine_link.h"

namespace korva3_tool {

class ControlLink : public korva3_control::MachineLink {
public:
    uint32_t clock_ms() override;
    void sleep_ms(uint32_t ms) override;
    bool estop_pressed() override;
    bool position(uint32_t card, std::array<int32_t, 3> &xyz) override;
};

} // namespace korva3_tool

#endif
