// run.cpp - `korva3 run JOB [options]`: runs a job file on the machine.
#include "commands/commands.h"
#include "commands/job_command.h"

namespace korva3_tool::commands {

int run(int argc, char **argv)
{
    LoadedJob loaded;
    int code;
    return load_job_command(argc, argv, loaded, code) ? run_loaded_job(loaded) : code;
}

} // namespace korva3_tool::commands
