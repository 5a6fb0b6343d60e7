// run.cpp - `korva3 run JOB [options]`: runs a job file on the machine.
#include <iostream>

#include "cli/usage.h"
#include "commands/commands.h"
#include "commands/job_command.h"

namespace korva3_tool::commands {

int run(int argc, char **argv)
{
    CommandLine cl;
    std::string problem = parse_command_line(argc, argv, job_spec(true), cl);
    if (!problem.empty())
        return usage_error(problem, kUsage);
    Job job;
    std::vector<Warning> warnings;
    if (!load_job_file(cl, job, warnings))
        return EXIT_USAGE;
    return run_loaded_job(cl, job, warnings);
}

} // namespace korva3_tool::commands
