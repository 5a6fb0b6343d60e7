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

// Pieces of every korva3 command line: a decimal integer within [lo, hi]; a card's
// place BUS:DEV:ID (bus and device 0..31, ID 0..15); a file name as the absolute path
// printed after writing it.
bool parse_number(const char *text, int64_t lo, int64_t hi, int64_t &value);
bool parse_place(const std::string &text, CardPlace &place);
std::string where(const std::string &path);

} // namespace korva3_tool

#endif
