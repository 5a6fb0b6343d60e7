// job_command.cpp - a job from its file to the run driver.
#include "commands/job_command.h"

#include <iostream>

#include "cli/usage.h"
#include "job/job_file.h"
#include "job/runner.h"
#include "run/driver.h"
#include "run/status_line.h"

namespace korva3_tool::commands {

Accepts job_accepts(bool needs_job_file)
{
    Accepts accepts;
    accepts.shared = kOutputFiles | kQuiet | kJobOutput | kLimit | kMachine | kPanel;
    accepts.operand_question = needs_job_file ? "which job file?" : nullptr;
    return accepts;
}

bool load_job(const std::string &name, const std::string &text, Job &job,
              std::vector<Warning> &warnings)
{
    std::vector<std::string> errors;
    if (!parse_job(name, text, job, errors)) {
        for (const std::string &e : errors)
            std::cerr << e << "\n";
        std::cerr << "korva3: nothing was run\n";
        return false;
    }
    warnings = check_job(job);
    for (const Warning &w : warnings)
        std::cerr << warning_text(name, w) << "\n";
    return true;
}

bool load_job_command(int argc, char **argv, LoadedJob &loaded, int &code)
{
    const CommandLine &cl = loaded.cl;
    code = EXIT_USAGE;
    std::string problem = parse_command_line(argc, argv, job_accepts(true), loaded.cl);
    if (!problem.empty()) {
        usage_error(problem, kUsage);
        return false;
    }
    std::string text, error;
    if (!read_job_file(cl.operand, text, error)) {
        std::cerr << "korva3: " << error << "\nkorva3: nothing was run\n";
        return false;
    }
    return load_job(cl.operand == "-" ? "stdin" : cl.operand, text, loaded.job,
                    loaded.warnings);
}

int run_loaded_job(const LoadedJob &loaded)
{
    const CommandLine &cl = loaded.cl;
    const std::vector<Warning> &warnings = loaded.warnings;
    const Job &job = loaded.job;
    if (cl.strict && !warnings.empty()) {
        std::cerr << "korva3: --strict: " << warnings.size() << " warnings; nothing was run\n";
        return EXIT_JOB_FAILED;
    }
    RunOptions options;
    options.output = cl.output;
    options.strict = cl.strict;
    if (cl.limit_ms)
        options.limit_ms = cl.limit_ms;
    for (const Warning &w : warnings)
        options.warned_lines.insert(w.line);
    options.status_line = StatusLine::stderr_is_terminal();
    options.panel = cl.panel;

    DriveSetup setup;
    setup.name = job.name;
    setup.plot_path = cl.plot_path;
    setup.csv_path = cl.csv_path;
    setup.panel = cl.panel;
    setup.panel_port = cl.panel_port;
    setup.panel_keep = cl.panel_keep;
    setup.machine = cl.setup;
    setup.session = session_options(options);
    return drive(setup, *job_work(job, options, std::cout, std::cerr));
}

} // namespace korva3_tool::commands
