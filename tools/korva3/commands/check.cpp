// check.cpp - `korva3 check JOB`: reads and checks a job; nothing runs.
#include <iostream>

#include "commands/commands.h"
#include "commands/job_command.h"

namespace korva3_tool::commands {

int check(int argc, char **argv)
{
    LoadedJob loaded;
    int code;
    if (!load_job_command(argc, argv, loaded, code))
        return code;
    const size_t warnings = loaded.warnings.size();
    std::cout << loaded.job.name << ": " << loaded.job.steps.size() << " steps, "
              << (warnings == 0 ? "no warnings" : std::to_string(warnings) + " warnings")
              << "\n";
    return warnings == 0 ? EXIT_OK : EXIT_JOB_FAILED;
}

} // namespace korva3_tool::commands
