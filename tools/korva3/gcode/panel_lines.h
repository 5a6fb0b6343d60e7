// panel_lines.h - the operator's lines from the panel's page, read into the controller's
// requests. A line is "ID VERB ARGS": ID a number the page gives it (0: no answer
// wanted), then one of
//   mdi TEXT            one G-code line with the session's modal state
//   jog AXIS MM         a step of MM (signed) at the axis's highest speed
//   jog AXIS + | -      a continuous jog, until cancelled or no longer renewed
//   renew | cancel      a continuous jog goes on for another deadline | brakes to rest
//   home AXIS | all     homing of one axis, or of every one (Z, X, Y)
//   touch AXIS VALUE    the work offset in force set so that AXIS reads VALUE (mm)
//   show N              what running from line N does (nothing moves)
//   from N              run the loaded program from line N
//   open NAME           load NAME from the machine's program folder
//   reset               leave the emergency stop once it is released
// AXIS: X, Y or Z.
#ifndef KORVA3_TOOL_PANEL_LINES_H
#define KORVA3_TOOL_PANEL_LINES_H

#include <string>

#include "control/requests.h"
#include "gcode/settings.h"

namespace korva3_tool {

struct PanelLine {
    long id = 0;                       // the page's number for its answer
    std::string verb;                  // "mdi", "jog", ...
    korva3_control::Request request;   // what goes to the controller
    std::string name;                  // open: the program's file name
    bool show = false;                 // show N: an answer only, no request
};

// False with the reason (a line the page would never send, or a value out of range).
bool read_panel_line(const std::string &line, const korva3_gcode::Settings &settings,
                     PanelLine &out, std::string &why);

} // namespace korva3_tool

#endif
