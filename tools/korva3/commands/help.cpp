// help.cpp - `korva3 help` and `korva3 --version`.
#include <iostream>

#include "run/exit_codes.h"
#include "cli/usage.h"
#include "commands/commands.h"
#include "korva3.h"

namespace korva3_tool::commands {

int help(int, char **)
{
    std::cout << kUsage << kGcodeUsage << (kHasPanel ? kPanelUsage : "");
    return EXIT_OK;
}

int version(int, char **)
{
    std::cout << "korva3 " << KORVA3_VERSION_MAJOR << "." << KORVA3_VERSION_MINOR << "."
              << KORVA3_VERSION_PATCH << "\n";
    return EXIT_OK;
}

} // namespace korva3_tool::commands
