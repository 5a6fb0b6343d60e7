// gcode_command.h - `korva3 gcode`: reads a G-code program, checks it, runs it on the
// card and draws or lists the path the card executed.
#ifndef KORVA3_TOOL_GCODE_COMMAND_H
#define KORVA3_TOOL_GCODE_COMMAND_H

namespace korva3_tool {

// The whole command; argv[1] is "gcode". Returns the tool's exit code.
int gcode_command(int argc, char **argv);

// Its lines of the tool's usage text.
extern const char *const kGcodeUsage;

} // namespace korva3_tool

#endif
