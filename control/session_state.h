// session_state.h - what a machine session keeps between programs and MDI lines: the
// reader's modal state, work offsets, G92, tools and position, as LinuxCNC keeps them
// between programs; and the views of it the front ends show.
#ifndef KORVA3_CONTROL_SESSION_STATE_H
#define KORVA3_CONTROL_SESSION_STATE_H

#include <array>
#include <optional>

#include "control/machine_state.h"
#include "gcode/parameters.h"
#include "gcode/settings.h"
#include "gcode/state.h"

namespace korva3_control {

struct SessionState {
    korva3_gcode::State reader;           // the reader's state, kept from line to line
    korva3_gcode::Parameters parameters;  // #1 .. #5600 and named ones, kept alike
    // Lines only checked (a sender's check mode) read on from their own copies, taken
    // from the above at the first of them and dropped at the next line that runs: the
    // session leaves check mode as it entered it.
    std::optional<korva3_gcode::State> checked_reader;
    std::optional<korva3_gcode::Parameters> checked_parameters;
    // Anything else the session does ends the checking.
    void end_checking()
    {
        checked_reader.reset();
        checked_parameters.reset();
    }

    // A fresh session of the machine: offsets, tool table, G28/G30 from its settings.
    static SessionState fresh(const korva3_gcode::Settings &settings);

    // Work = machine - offset(): the work offset in force, G92's and the tool's length.
    std::array<double, 3> offset_mm() const;
    ModalView modal(const korva3_gcode::Settings &settings) const;
};

} // namespace korva3_control

#endif
