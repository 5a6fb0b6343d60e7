// control_link.cpp - the controller's view of the tool's machine.
#include "machine/control_link.h"

#include "machine/machine.h"

namespace korva3_tool {

uint32_t ControlLink::clock_ms() { return machine::clock_ms(); }

void ControlLink::sleep_ms(uint32_t ms) { machine::sleep_ms(ms); }

bool ControlLink::estop_pressed() { return machine::panel_estop(); }

bool ControlLink::position(uint32_t card, std::array<int32_t, 3> &xyz)
{
    return machine::position(card, xyz);
}

} // namespace korva3_tool
