// gcode_input.h - the program named on `korva3 gcode`'s command line, as a file the
// reader can read (and read again), and what a refused program prints.
#ifndef KORVA3_TOOL_GCODE_INPUT_H
#define KORVA3_TOOL_GCODE_INPUT_H

#include <string>

#include "control/program_check.h"

namespace korva3_tool {

// `path` itself, or for "-" standard input copied into a temporary file (removed when
// the tool exits). `name`: how messages name it ("stdin" for "-"). False with the
// message printed when it cannot be read.
bool program_file(const std::string &path, std::string &file, std::string &name);

// A program with errors: its errors on standard error (and with `json` one object on
// standard output), then "korva3: nothing was run".
void report_refused(const korva3_control::ProgramCheck &check, bool json);

} // namespace korva3_tool

#endif
