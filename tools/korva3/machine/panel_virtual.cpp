// panel_virtual.cpp - the front panel of the virtual machine for `korva3 run --panel`.
#include "korva3_sim.h"
#include "machine/machine.h"

namespace korva3_tool::machine {

bool start_panel(uint32_t port, std::string &url, std::string &error)
{
    if (KSIM_PANEL_START(port) < 0) {
        error = port ? "cannot start the panel on 127.0.0.1:" + std::to_string(port) +
                           " (port in use, or a build without the panel)"
                     : "cannot start the panel (a build without it?)";
        return false;
    }
    char text[128];
    KSIM_PANEL_URL(text, sizeof text);
    url = text;
    KSIM_SET_PACE(100); // real time: a person watches
    return true;
}

void stop_panel() { KSIM_PANEL_STOP(); }

bool panel_estop()
{
    for (int32_t index = 0; index < 16; index++) // the tool's machine has at most 16 cards
        if (KSIM_PANEL_ESTOP(index))
            return true;
    return false;
}

} // namespace korva3_tool::machine
