// trace.cpp - `korva3 trace TRACE` (a summary of a virtual card's trace file) and
// `korva3 plot TRACE --plot FILE.svg` (its picture, drawn as a job's run is).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "cli/options.h"
#include "commands/commands.h"
#include "record/trace_file.h"
#include "run/outputs.h"

namespace korva3_tool::commands {

namespace {

const char *const kTraceUsage =
    "usage: korva3 trace TRACE | korva3 plot TRACE --plot FILE.svg\n";

} // namespace

int trace(int argc, char **argv)
{
    const bool plot = std::string(argv[1]) == "plot";
    std::string plot_path;
    Accepts accepts;
    accepts.operand_question = "which trace file?";
    if (plot)
        accepts.own.push_back({"--plot", "a file name", [&](const char *v) {
                                plot_path = v;
                                return "";
                            }});
    CommandLine cl;
    std::string problem = parse_command_line(argc, argv, accepts, cl);
    if (problem.empty() && plot && plot_path.empty())
        problem = "plot: where to? (--plot FILE.svg)";
    if (!problem.empty())
        return usage_error(problem, kTraceUsage);

    std::ifstream in(cl.operand, std::ios::binary);
    if (!in) {
        std::cerr << "korva3: cannot read " << cl.operand << "\n";
        return EXIT_USAGE;
    }
    TraceSummary summary;
    Recording recording;
    std::string error;
    if (!read_trace(in, cl.operand, summary, recording, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    std::cout << format_summary(summary);
    if (!plot)
        return EXIT_OK;
    recording.job = std::filesystem::path(cl.operand).filename().string(); // the title
    return Outputs(plot_path, "").close(recording) ? EXIT_OK : EXIT_JOB_FAILED;
}

} // namespace korva3_tool::commands
