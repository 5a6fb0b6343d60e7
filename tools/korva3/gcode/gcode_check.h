// gcode_check.h - what `korva3 gcode --check` prints about a program it checked: as text
// for a person, or (--json) as one JSON object for a program to read.
#ifndef KORVA3_TOOL_GCODE_CHECK_H
#define KORVA3_TOOL_GCODE_CHECK_H

#include <ostream>
#include <string>
#include <vector>

#include "control/program_check.h"
#include "gcode/settings.h"

namespace korva3_tool {

// A good program: lines, moves, path lengths, extent, end, planned time, work offsets,
// tools, pauses and messages.
void report_check(const korva3_control::ProgramCheck &c, const korva3_gcode::Settings &s,
                  std::ostream &out);
void report_check_json(const korva3_control::ProgramCheck &c, const korva3_gcode::Settings &s,
                       std::ostream &out);
// A refused one, as JSON: {"file": ..., "accepted": false, "errors": [...]}.
void report_refused_json(const std::string &name, const std::vector<std::string> &errors,
                         std::ostream &out);

} // namespace korva3_tool

#endif
