// functions.cpp - `korva3 functions`: the library functions and verbs a job can use.
#include <cstring>
#include <iostream>
#include <string>

#include "cli/options.h"
#include "cli/usage.h"
#include "commands/commands.h"
#include "job/functions.h"
#include "job/job.h"

namespace korva3_tool::commands {

int functions(int argc, char **argv)
{
    CommandLine cl;
    std::string problem = parse_command_line(argc, argv, Accepts{}, cl);
    if (!problem.empty())
        return usage_error(problem, kUsage);
    std::cout << "Library functions (KORVA3_ prefix optional), '-' = may be negative:\n";
    for (const Function &f : korva3_tool::functions())
        std::cout << "  " << f.name << (*f.params ? " " : "") << f.params
                  << (f.result == Result::None ? "" : "  -> result") << "\n";
    std::cout << "Tool verbs:\n";
    for (const VerbInfo &v : verbs()) {
        size_t n = std::strlen(v.usage);
        // A long usage gets a line of its own; the help lines up below it.
        std::string gap = n < 22 ? std::string(22 - n, ' ') : "\n" + std::string(24, ' ');
        std::cout << "  " << v.usage << gap << v.help << "\n";
    }
    return EXIT_OK;
}

} // namespace korva3_tool::commands
