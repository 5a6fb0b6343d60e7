// trace_command.h - `korva3 trace TRACE` (a summary of a virtual card's trace) and
// `korva3 plot TRACE --plot FILE.svg` (its picture, as a job's run is drawn).
#ifndef KORVA3_TOOL_TRACE_COMMAND_H
#define KORVA3_TOOL_TRACE_COMMAND_H

namespace korva3_tool {

// argv[1] is "trace" or "plot". Returns the exit code.
int trace_command(int argc, char **argv);

} // namespace korva3_tool

#endif
