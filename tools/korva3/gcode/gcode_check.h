// gcode_check.h - what `korva3 gcode --check` prints about a program it read: as text for
// a person, or (--json) as one JSON object for a program to read.
#ifndef KORVA3_TOOL_GCODE_CHECK_H
#define KORVA3_TOOL_GCODE_CHECK_H

#include <ostream>
#include <string>
#include <vector>

#include "gcode/program.h"
#include "gcode/settings.h"

namespace korva3_tool {

std::string duration_text(double ms); // "22.9 s", "3 min 4.5 s", "101 hours"
std::string mm_text(double v);        // "12.500": three decimals

// A good program: lines, moves, path lengths, extent, end, planned time, work offsets,
// tools, pauses and messages.
void report_check(const korva3_gcode::Program &p, const korva3_gcode::Settings &s,
                  std::ostream &out);
void report_check_json(const korva3_gcode::Program &p, const korva3_gcode::Settings &s,
                       std::ostream &out);
// A refused one, as JSON: {"file": ..., "accepted": false, "errors": [...]}.
void report_refused_json(const std::string &name, const std::vector<std::string> &errors,
                         std::ostream &out);

} // namespace korva3_tool

#endif
