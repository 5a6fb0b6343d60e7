// operator_hardware.cpp - real cards have their own front: no jog on a panel.
#include "machine/machine.h"

namespace korva3_tool::machine {

void offer_jog(bool) {}
bool take_panel_request(PanelRequest &) { return false; }
void report_panel(int, bool, const std::string &) {}
void set_panel_scale(int, const std::array<double, 3> &) {}
bool panel_estop_at(int) { return false; }

} // namespace korva3_tool::machine
