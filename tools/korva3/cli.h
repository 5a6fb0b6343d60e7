// cli.h - the korva3 command line: the command, its job file and options.
#ifndef KORVA3_TOOL_CLI_H
#define KORVA3_TOOL_CLI_H

#include <string>

#include "machine.h"
#include "runner.h"

namespace korva3_tool {

struct CommandLine {
    std::string command;   // run, demo, check, functions, help
    std::string job_path;  // run, check: the job file ("-": standard input)
    std::string plot_path; // --plot
    std::string csv_path;  // --csv
    bool print_demo = false;
    bool panel = false;      // --panel[=PORT]
    uint32_t panel_port = 0; // 0: a free port
    RunOptions options;
    MachineSetup setup;
};

extern const char *const kUsage;

// Parses argv. Returns "" or what is wrong (the caller prints it with the usage).
std::string parse_command_line(int argc, char **argv, CommandLine &cl);

} // namespace korva3_tool

#endif
