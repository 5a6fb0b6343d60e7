// operator_virtual.cpp - the panel's jog and homing requests on the virtual machine.
#include "korva3_sim.h"
#include "machine/machine.h"

namespace korva3_tool::machine {

void offer_jog(bool on) { KSIM_PANEL_OFFER_JOG(on ? 1 : 0); }

bool take_panel_request(PanelRequest &request)
{
    int32_t index = 0, pulses = 0;
    uint32_t kind = 0, axis = 0;
    if (!KSIM_PANEL_TAKE_REQUEST(&index, &kind, &axis, &pulses))
        return false;
    request = PanelRequest{index, kind == KSIM_PANEL_HOME, axis, pulses};
    return true;
}

void report_panel(int index, bool busy, const std::string &text)
{
    KSIM_PANEL_REPORT(index, busy ? 1 : 0, text.c_str());
}

void set_panel_scale(int index, const std::array<double, 3> &pulses_per_mm)
{
    for (uint32_t axis = 1; axis <= 3; axis++)
        KSIM_PANEL_SET_SCALE(index, axis, pulses_per_mm[axis - 1]);
}

bool panel_estop_at(int index) { return KSIM_PANEL_ESTOP(index) != 0; }

} // namespace korva3_tool::machine
