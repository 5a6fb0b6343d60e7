// main.cpp - the korva3 command line: runs job files and the demo on the virtual card
// (or on real cards, in a hardware build), checks jobs, and writes plots and CSV files.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "korva3.h"

#include "cli.h"
#include "demo.h"
#include "functions.h"
#include "gcode_command.h"
#include "interrupt.h"
#include "job.h"
#include "job_check.h"
#include "machine.h"
#include "runner.h"
#include "status_line.h"
#include "svg_plot.h"
#include "trace_command.h"
#include "tool_files.h"

using namespace korva3_tool;

namespace {

int usage_error(const std::string &message)
{
    std::cerr << "korva3: " << message << "\n" << kUsage;
    return EXIT_USAGE;
}

void list_functions()
{
    std::cout << "Library functions (KORVA3_ prefix optional), '-' = may be negative:\n";
    for (const Function &f : functions())
        std::cout << "  " << f.name << (*f.params ? " " : "") << f.params
                  << (f.result == Result::None ? "" : "  -> result") << "\n";
    std::cout << "Tool verbs:\n";
    for (const VerbInfo &v : verbs()) {
        size_t n = std::strlen(v.usage);
        // A long usage gets a line of its own; the help lines up below it.
        std::string gap = n < 22 ? std::string(22 - n, ' ') : "\n" + std::string(24, ' ');
        std::cout << "  " << v.usage << gap << v.help << "\n";
    }
}

// The job's name and text (the demo's, a file's or standard input's). False with a
// message when it cannot be read.
bool read_job(const CommandLine &cl, std::string &name, std::string &text)
{
    if (cl.command == "demo") {
        name = "demo";
        text = demo_job();
        return true;
    }
    std::string error;
    if (!read_job_file(cl.job_path, text, error)) {
        std::cerr << "korva3: " << error << "\nkorva3: nothing was run\n";
        return false;
    }
    name = cl.job_path == "-" ? "stdin" : cl.job_path;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Commands with command lines of their own.
    if (argc >= 2) {
        const std::string command = argv[1];
        if (command == "--version" || command == "version") {
            std::cout << "korva3 " << KORVA3_VERSION_MAJOR << "." << KORVA3_VERSION_MINOR
                      << "." << KORVA3_VERSION_PATCH << "\n";
            return EXIT_OK;
        }
        if (command == "trace" || command == "plot")
            return trace_command(argc, argv);
        if (command == "gcode")
            return gcode_command(argc, argv);
    }
    CommandLine cl;
    std::string problem = parse_command_line(argc, argv, cl);
    if (!problem.empty())
        return usage_error(problem);
    if (cl.command == "help") {
        std::cout << kUsage << kGcodeUsage;
        return EXIT_OK;
    }
    if (cl.command == "functions") {
        list_functions();
        return EXIT_OK;
    }
    if (cl.command == "demo" && cl.print_demo) {
        std::cout << demo_job();
        return EXIT_OK;
    }
    if (cl.command == "demo") {
        if (!machine::is_virtual()) {
            std::cerr << "korva3: the demo runs on the virtual card only; this korva3 drives "
                         "real cards\n";
            return EXIT_USAGE;
        }
        if (cl.plot_path.empty())
            cl.plot_path = "demo.svg";
    }
    if (!cl.plot_path.empty() && !machine::is_virtual()) {
        std::cerr << "korva3: --plot needs the virtual card (only it reports the path)\n";
        return EXIT_USAGE;
    }
    if (!cl.csv_path.empty() && !machine::is_virtual()) {
        std::cerr << "korva3: --csv needs the virtual card (only it reports the path)\n";
        return EXIT_USAGE;
    }

    std::string name, text;
    if (!read_job(cl, name, text))
        return EXIT_USAGE;
    Job job;
    std::vector<std::string> errors;
    if (!parse_job(name, text, job, errors)) {
        for (const std::string &e : errors)
            std::cerr << e << "\n";
        std::cerr << "korva3: nothing was run\n";
        return EXIT_USAGE;
    }

    // Mistakes found by reading the job: warnings (failures under --strict).
    std::vector<Warning> warnings = check_job(job);
    for (const Warning &w : warnings) {
        std::cerr << warning_text(name, w) << "\n";
        cl.options.warned_lines.insert(w.line);
    }
    if (cl.command == "check") {
        std::cout << name << ": " << job.steps.size() << " steps, "
                  << (warnings.empty() ? "no warnings" : std::to_string(warnings.size()) +
                                                             " warnings")
                  << "\n";
        return warnings.empty() ? EXIT_OK : EXIT_JOB_FAILED;
    }
    if (cl.options.strict && !warnings.empty()) {
        std::cerr << "korva3: --strict: " << warnings.size()
                  << " warnings; nothing was run\n";
        return EXIT_JOB_FAILED;
    }

    std::ofstream csv;
    if (!cl.csv_path.empty()) {
        csv.open(cl.csv_path, std::ios::binary);
        if (!csv) {
            std::cerr << "korva3: cannot write " << cl.csv_path << "\n";
            return EXIT_USAGE;
        }
        cl.options.csv = &csv;
    }
    std::string error;
    if (!cl.plot_path.empty() && !check_writable(cl.plot_path, error)) {
        std::cerr << "korva3: --plot: " << error << "\nkorva3: nothing was run\n";
        return EXIT_USAGE;
    }
    if (!machine::setup(cl.setup, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    if (cl.panel) {
        std::string url;
        if (!machine::start_panel(cl.panel_port, url, error)) {
            std::cerr << "korva3: " << error << "\n";
            return EXIT_USAGE;
        }
        std::cout << "panel: " << url << std::endl;
        std::cout << std::unitbuf; // each step's line as it happens, for the person watching
    }
    interrupt::install();
    cl.options.status_line = StatusLine::stderr_is_terminal();
    Recording recording;
    int code = run_job(job, cl.options, std::cout, std::cerr, recording);

    if (!cl.csv_path.empty()) {
        csv.close();
        if (!csv) {
            std::cerr << "korva3: cannot write " << cl.csv_path << "\n";
            return EXIT_JOB_FAILED;
        }
        std::cout << "csv: " << where(cl.csv_path) << "\n";
    }
    if (!cl.plot_path.empty()) {
        std::ofstream out(cl.plot_path, std::ios::binary);
        out << svg_plot(recording);
        out.close();
        if (!out) {
            std::cerr << "korva3: cannot write " << cl.plot_path << "\n";
            return EXIT_JOB_FAILED;
        }
        std::cout << "plot: " << where(cl.plot_path) << "\n";
    }
    return code;
}
