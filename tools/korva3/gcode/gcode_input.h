// gcode_input.h - the program named on `korva3 gcode`'s command line, read and checked.
#ifndef KORVA3_TOOL_GCODE_INPUT_H
#define KORVA3_TOOL_GCODE_INPUT_H

#include <string>

#include "gcode/program.h"
#include "gcode/settings.h"

namespace korva3_tool {

// Reads the program in `path` ("-": standard input, through a temporary file; at most
// 64 MiB either way) into `program`, line by line from the file. False with the
// messages printed (nothing was run): errors on standard error, and with `json` also
// on standard output as one object (the file's own faults only). `listing`, when
// given, gets the program's text (for the panel).
bool read_named_program(const std::string &path, const korva3_gcode::Settings &settings,
                        const korva3_gcode::ReadOptions &options, korva3_gcode::Program &program,
                        bool json, std::string *listing);

} // namespace korva3_tool

#endif
