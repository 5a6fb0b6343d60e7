// panel_hardware.cpp - real cards have their own front: no panel.
#include "machine/machine.h"

namespace korva3_tool::machine {

bool start_panel(uint32_t, std::string &, std::string &error)
{
    error = "--panel needs the virtual card";
    return false;
}

void stop_panel() {}

bool panel_estop() { return false; }

} // namespace korva3_tool::machine
