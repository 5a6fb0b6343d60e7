// job_command.h - what run, check and demo share: the job read and parsed, the
// mistakes found by reading it warned about, and the job handed to the run driver.
#ifndef KORVA3_TOOL_JOB_COMMAND_H
#define KORVA3_TOOL_JOB_COMMAND_H

#include <string>
#include <vector>

#include "cli/options.h"
#include "job/check.h"
#include "job/job.h"

namespace korva3_tool::commands {

// A job as a command has it: its command line, the job, the warnings of reading it.
struct LoadedJob {
    CommandLine cl;
    Job job;
    std::vector<Warning> warnings;
};

// What run, check and demo take.
Accepts job_accepts(bool needs_job_file);

// The job `text` (named `name` in messages) parsed into job, its warnings printed and
// kept. False when it does not parse (the errors printed: nothing was run).
bool load_job(const std::string &name, const std::string &text, Job &job,
              std::vector<Warning> &warnings);

// The command line of run or check, and the job file it names, read and loaded as
// load_job does. False with the message printed and the exit code in `code`.
bool load_job_command(int argc, char **argv, LoadedJob &loaded, int &code);

// Runs a loaded job through the run driver as the command line says.
int run_loaded_job(const LoadedJob &loaded);

} // namespace korva3_tool::commands

#endif
