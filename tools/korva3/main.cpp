// main.cpp - the korva3 command line: a table of verbs, each in commands/.
#include <string>

#include "cli/options.h"
#include "cli/usage.h"
#include "commands/commands.h"

using namespace korva3_tool;

namespace {

struct Verb {
    const char *name;
    int (*command)(int argc, char **argv);
};

const Verb kVerbs[] = {
    {"run", commands::run},         {"check", commands::check},
    {"demo", commands::demo},       {"gcode", commands::gcode},
    {"panel", commands::panel},     {"serve", commands::serve},
    {"trace", commands::trace},     {"plot", commands::trace},
    {"functions", commands::functions},
    {"help", commands::help},       {"--help", commands::help},
    {"-h", commands::help},         {"version", commands::version},
    {"--version", commands::version},
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage_error("what to do?", kUsage);
    const std::string verb = argv[1];
    for (const Verb &v : kVerbs)
        if (verb == v.name)
            return v.command(argc, argv);
    return usage_error("unknown command '" + verb + "'", kUsage);
}
