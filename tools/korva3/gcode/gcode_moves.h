// gcode_moves.h - `korva3 gcode FILE --check --moves`: the moves a checked program makes,
// one a line, for a program to compare with another interpreter's.
#ifndef KORVA3_TOOL_GCODE_MOVES_H
#define KORVA3_TOOL_GCODE_MOVES_H

#include <ostream>
#include <string>

#include "gcode/parameters.h"
#include "gcode/program.h"
#include "gcode/settings.h"
#include "gcode/state.h"

namespace korva3_tool {

// Reads the program in `path` again from `start` and prints each move, tab-separated:
//   LINE  rapid|feed  X Y Z  FEED        a straight move to X Y Z (machine mm), FEED mm/min
//   LINE  arc  X Y Z  FEED  CX CY CZ  TURN  an arc to X Y Z round the centre, TURN radians
//                                        (+ counter-clockwise in the plane's axes U V)  U V
//   LINE  dwell  MS
// Outputs, pauses and the end are left out. False when the reading found an error.
bool list_moves(const std::string &path, const std::string &name,
                const korva3_gcode::Settings &settings, korva3_gcode::State start,
                korva3_gcode::Parameters parameters, const korva3_gcode::ReadOptions &options,
                std::ostream &out);

} // namespace korva3_tool

#endif
