// demo.cpp - `korva3 demo [options]`: runs the built-in job on the virtual card and
// draws it (demo.svg unless --plot says otherwise); `korva3 demo --print` shows it.
#include <iostream>

#include "cli/usage.h"
#include "commands/commands.h"
#include "commands/job_command.h"
#include "job/demo_job.h"

namespace korva3_tool::commands {

int demo(int argc, char **argv)
{
    bool print = false;
    Accepts accepts = job_accepts(false);
    accepts.own.push_back({"--print", nullptr, [&](const char *) { print = true; return ""; }});
    LoadedJob loaded;
    CommandLine &cl = loaded.cl;
    std::string problem = parse_command_line(argc, argv, accepts, cl);
    if (!problem.empty())
        return usage_error(problem, kUsage);
    if (print) {
        std::cout << demo_job();
        return EXIT_OK;
    }
    if (!machine::is_virtual()) {
        std::cerr << "korva3: the demo runs on the virtual card only; this korva3 drives "
                     "real cards\n";
        return EXIT_USAGE;
    }
    if (cl.plot_path.empty())
        cl.plot_path = "demo.svg";
    if (!load_job("demo", demo_job(), loaded.job, loaded.warnings))
        return EXIT_USAGE;
    return run_loaded_job(loaded);
}

} // namespace korva3_tool::commands
