// panel_operator.h - the panel's jog and homing for card 0 handed to the machine
// controller, and what came of each told back to the page in the words a person reads
// ("jog X +1 mm: done, X at 1.000 mm"). Runs in the controller's poll, on its thread.
#ifndef KORVA3_TOOL_PANEL_OPERATOR_H
#define KORVA3_TOOL_PANEL_OPERATOR_H

#include <array>
#include <cstdint>
#include <string>

#include "control/controller.h"
#include "gcode/settings.h"
#include "machine/machine.h"

namespace korva3_tool {

class PanelOperator {
public:
    // `in_mm`: the page shows mm (a machine file was given), else pulses.
    PanelOperator(const korva3_gcode::Settings &settings, bool in_mm)
        : set_(settings), in_mm_(in_mm) {}

    // A request pressed for card 0.
    void take(korva3_control::Controller &c, const machine::PanelRequest &r);
    // Every turn: a request under way followed to its end; the bench's emergency stop
    // released resets the controller's.
    void follow(korva3_control::Controller &c);

private:
    std::string amount(int axis, int32_t pulses) const; // "+1 mm", "-10 pulses"
    std::string where(int axis) const;                  // "X at 1.000 mm"

    const korva3_gcode::Settings &set_;
    bool in_mm_;
    bool busy_ = false;       // a request runs (or waits to start)
    bool started_ = false;    // its work has begun
    int turns_ = 0;           // turns since it was posted
    bool home_ = false;
    int axis_ = 0;            // 0..2; homing every axis: -1
    int32_t target_ = 0;      // a jog's end, pulses
    std::string what_;        // "jog X +1 mm", "homing X"
    bool estop_ = false;      // the controller was in an emergency stop at the last turn
};

} // namespace korva3_tool

#endif
