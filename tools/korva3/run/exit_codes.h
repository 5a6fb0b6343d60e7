// exit_codes.h - what the korva3 tool's exit code says.
#ifndef KORVA3_TOOL_EXIT_CODES_H
#define KORVA3_TOOL_EXIT_CODES_H

namespace korva3_tool {

enum {
    EXIT_OK = 0,
    EXIT_JOB_FAILED = 1,   // the job or program failed, or an output file could not be written
    EXIT_USAGE = 2,        // a bad command line or input file: nothing was run
    EXIT_EMERGENCY = 3,    // the emergency stop was pressed on the panel: the job ended there
    EXIT_STOPPED = 4,      // the operator stopped the program on the panel (at rest on its path)
    EXIT_INTERRUPTED = 130 // Ctrl-C or SIGTERM: every registered card got an emergency stop
};

} // namespace korva3_tool

#endif
