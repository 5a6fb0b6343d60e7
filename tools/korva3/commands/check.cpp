// check.cpp - `korva3 check JOB`: reads and checks a job; nothing runs.
#include <iostream>

#include "cli/usage.h"
#include "commands/commands.h"
#include "commands/job_command.h"

namespace korva3_tool::commands {

int check(int argc, char **argv)
{
    CommandLine cl;
    std::string problem = parse_command_line(argc, argv, job_spec(true), cl);
    if (!problem.empty())
        return usage_error(problem, kUsage);
    Job job;
    std::vector<Warning> warnings;
    if (!load_job_file(cl, job, warnings))
        return EXIT_USAGE;
    std::cout << job.name << ": " << job.steps.size() << " steps, "
              << (warnings.empty() ? "no warnings"
                                   : std::to_string(warnings.size()) + " warnings")
              << "\n";
    return warnings.empty() ? EXIT_OK : EXIT_JOB_FAILED;
}

} // namespace korva3_tool::commands
