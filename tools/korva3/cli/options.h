// options.h - the korva3 command line: the options every command that runs something
// shares (outputs, limit, the virtual machine's cards, the panel), read by one parser,
// and each command's own options beside them.
#ifndef KORVA3_TOOL_OPTIONS_H
#define KORVA3_TOOL_OPTIONS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "run/exit_codes.h"
#include "machine/machine.h"
#include "run/session.h"

namespace korva3_tool {

// Which of the shared options a command takes (bits).
enum SharedOptions : unsigned {
    kOutputFiles = 1u << 0, // --plot FILE, --csv FILE
    kQuiet = 1u << 1,       // --quiet
    kJobOutput = 1u << 2,   // --trace, --strict
    kLimit = 1u << 3,       // --limit MS
    kMachine = 1u << 4,     // --card BUS:DEV:ID, --slice-us N, --queue N
    kPanel = 1u << 5,       // --panel[=PORT], --panel-keep
};

// An option of one command's own: "--name", or "--name VALUE" when value_name is set.
// take() returns "" or what is wrong with the value.
struct OwnOption {
    const char *name;
    const char *value_name; // null: a flag
    std::function<std::string(const char *value)> take;
};

// What a command accepts.
struct Accepts {
    unsigned shared = 0;           // SharedOptions
    // The one operand it needs (the job file, the program), asked for by this question
    // when it is missing ("which job file?"); null: none.
    const char *operand_question = nullptr;
    std::vector<OwnOption> own;
};

struct CommandLine {
    std::string verb;      // argv[1]
    std::string operand;   // the job file or program ("-": standard input)
    std::string plot_path; // --plot
    std::string csv_path;  // --csv
    Output output = Output::Normal;
    bool strict = false;
    uint32_t limit_ms = 0;   // --limit; 0: the command's default
    bool panel = false;      // --panel[=PORT]
    uint32_t panel_port = 0; // 0: a free port
    bool panel_keep = false; // --panel-keep: the page stays after the end until Ctrl-C
    MachineSetup setup;
};

// Reads argv[2..] as `accepts` says. Returns "" or what is wrong (the caller prints it
// with its usage).
std::string parse_command_line(int argc, char **argv, const Accepts &accepts,
                               CommandLine &cl);

// "korva3: MESSAGE" and the usage on standard error; returns EXIT_USAGE.
int usage_error(const std::string &message, const char *usage);

// Pieces of every korva3 command line: a decimal integer within [lo, hi]; a card's
// place BUS:DEV:ID (bus and device 0..31, ID 0..15).
bool parse_number(const char *text, int64_t lo, int64_t hi, int64_t &value);
bool parse_place(const std::string &text, CardPlace &place);

// A command's own option "NAME VALUE" that takes a whole number lo..hi into `to` (read by
// parse_number); anything else is refused as "NAME: a whole number LO..HI".
template <typename Int>
OwnOption whole_number_option(const char *name, int64_t lo, int64_t hi, Int &to)
{
    return {name, "a value", [name, lo, hi, &to](const char *value) -> std::string {
                int64_t n = 0;
                if (!parse_number(value, lo, hi, n))
                    return std::string(name) + ": a whole number " + std::to_string(lo) + ".." +
                           std::to_string(hi);
                to = static_cast<Int>(n);
                return "";
            }};
}

} // namespace korva3_tool

#endif
