// trace_command.cpp - the tool's commands over trace files.
#include "trace_command.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "runner.h"
#include "svg_plot.h"
#include "trace_file.h"

namespace korva3_tool {

int trace_command(int argc, char **argv)
{
    const std::string command = argv[1];
    std::string trace_path, plot_path;
    for (int i = 2; i < argc; i++) {
        const std::string a = argv[i];
        if (a == "--plot" && i + 1 < argc && command == "plot")
            plot_path = argv[++i];
        else if (trace_path.empty() && !a.empty() && a[0] != '-')
            trace_path = a;
        else {
            std::cerr << "korva3: unknown option '" << a << "'\n";
            trace_path.clear();
            break;
        }
    }
    if (trace_path.empty() || (command == "plot" && plot_path.empty())) {
        std::cerr << "usage: korva3 trace TRACE | korva3 plot TRACE --plot FILE.svg\n";
        return EXIT_USAGE;
    }
    std::ifstream in(trace_path, std::ios::binary);
    if (!in) {
        std::cerr << "korva3: cannot read " << trace_path << "\n";
        return EXIT_USAGE;
    }
    TraceSummary summary;
    Recording recording;
    std::string error;
    if (!read_trace(in, trace_path, summary, recording, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    std::cout << format_summary(summary);
    if (command == "plot") {
        recording.job = std::filesystem::path(trace_path).filename().string(); // the title
        std::ofstream out(plot_path, std::ios::binary);
        out << svg_plot(recording);
        out.close();
        if (!out) {
            std::cerr << "korva3: cannot write " << plot_path << "\n";
            return EXIT_JOB_FAILED;
        }
        std::cout << "plot: " << plot_path << "\n";
    }
    return EXIT_OK;
}

} // namespace korva3_tool
