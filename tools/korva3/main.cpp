// main.cpp - the korva3 command line: runs job files and the demo on the virtual card
// (or on real cards, in a hardware build), and writes their plots.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "demo.h"
#include "functions.h"
#include "job.h"
#include "machine.h"
#include "runner.h"
#include "svg_plot.h"
#include "tool_files.h"

using namespace korva3_tool;

namespace {

const char *kUsage =
    "usage: korva3 run JOB [options]    run a job file (- reads standard input)\n"
    "       korva3 demo [options]       run the built-in demo, write demo.svg here\n"
    "       korva3 demo --print         show the demo's job file\n"
    "       korva3 functions            list the functions and verbs a job can use\n"
    "options:\n"
    "  --plot FILE.svg     draw the path the card executed and the speed profile\n"
    "  --quiet             print only the final positions (and errors)\n"
    "  --trace             also print every frame the card received, in hex\n"
    "  --limit MS          fail the job when it takes longer (default 600000)\n"
    "virtual card only:\n"
    "  --card BUS:DEV:ID   put a card at this PCI place with this ID switch (repeat for\n"
    "                      more; default one card 0:1:0)\n"
    "  --slice-us N        slice period of the controllers in microseconds\n"
    "  --queue N           slices the controllers' queues hold\n";

int usage_error(const std::string &message)
{
    std::cerr << "korva3: " << message << "\n" << kUsage;
    return EXIT_USAGE;
}

bool parse_number(const char *text, int64_t lo, int64_t hi, int64_t &value)
{
    char *end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || v < lo || v > hi)
        return false;
    value = v;
    return true;
}

bool parse_place(const std::string &text, CardPlace &place)
{
    std::istringstream in(text);
    std::string part;
    int64_t v[3];
    for (int i = 0; i < 3; i++) {
        if (!std::getline(in, part, ':') || !parse_number(part.c_str(), 0, 31, v[i]))
            return false;
    }
    if (std::getline(in, part) || v[2] > 15)
        return false;
    place = {static_cast<uint32_t>(v[0]), static_cast<uint32_t>(v[1]),
             static_cast<uint32_t>(v[2])};
    return true;
}

void list_functions()
{
    std::cout << "Library functions (KORVA3_ prefix optional), '-' = may be negative:\n";
    for (const Function &f : functions())
        std::cout << "  " << f.name << (*f.params ? " " : "") << f.params
                  << (f.result == Result::None ? "" : "  -> result") << "\n";
    std::cout << "Tool verbs:\n";
    for (const VerbInfo &v : verbs())
        std::cout << "  " << v.usage << std::string(22 - std::strlen(v.usage), ' ') << v.help
                  << "\n";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage_error("what to do?");
    std::string command = argv[1];
    if (command == "help" || command == "--help" || command == "-h") {
        std::cout << kUsage;
        return EXIT_OK;
    }
    if (command == "functions") {
        list_functions();
        return EXIT_OK;
    }
    if (command != "run" && command != "demo")
        return usage_error("unknown command '" + command + "'");

    std::string job_path, plot_path;
    RunOptions options;
    MachineSetup setup;
    bool cards_given = false, print_demo = false;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](const char *what) -> const char * {
            if (i + 1 >= argc) {
                usage_error(a + " needs " + what);
                std::exit(EXIT_USAGE);
            }
            return argv[++i];
        };
        int64_t n;
        if (a == "--plot") {
            plot_path = value("a file name");
        } else if (a == "--quiet") {
            options.output = Output::Quiet;
        } else if (a == "--trace") {
            options.output = Output::Trace;
        } else if (a == "--print" && command == "demo") {
            print_demo = true;
        } else if (a == "--limit") {
            if (!parse_number(value("milliseconds"), 1, UINT32_MAX / 2, n))
                return usage_error("--limit: milliseconds, 1 or more");
            options.limit_ms = static_cast<uint32_t>(n);
        } else if (a == "--card") {
            CardPlace place;
            if (!parse_place(value("BUS:DEV:ID"), place))
                return usage_error("--card: BUS:DEV:ID, bus and device 0..31, ID 0..15");
            if (!cards_given)
                setup.cards.clear();
            cards_given = true;
            setup.cards.push_back(place);
        } else if (a == "--slice-us") {
            if (!parse_number(value("microseconds"), 0, 1000000, n))
                return usage_error("--slice-us: 0..1000000");
            setup.slice_us = n;
        } else if (a == "--queue") {
            if (!parse_number(value("a slice count"), 1, 65536, n))
                return usage_error("--queue: 1..65536");
            setup.queue_size = n;
        } else if (command == "run" && job_path.empty() && (a == "-" || a[0] != '-')) {
            job_path = a;
        } else {
            return usage_error("unknown option '" + a + "'");
        }
    }

    std::string name, text;
    if (command == "demo") {
        if (print_demo) {
            std::cout << demo_job();
            return EXIT_OK;
        }
        if (!machine::is_virtual()) {
            std::cerr << "korva3: the demo runs on the virtual card only; this korva3 drives "
                         "real cards\n";
            return EXIT_USAGE;
        }
        name = "demo";
        text = demo_job();
        if (plot_path.empty())
            plot_path = "demo.svg";
    } else {
        if (job_path.empty())
            return usage_error("run: which job file?");
        std::string error;
        if (!read_job_file(job_path, text, error)) {
            std::cerr << "korva3: " << error << "\nkorva3: nothing was run\n";
            return EXIT_USAGE;
        }
        name = job_path == "-" ? "stdin" : job_path;
    }
    if (!plot_path.empty() && !machine::is_virtual()) {
        std::cerr << "korva3: --plot needs the virtual card (only it reports the path)\n";
        return EXIT_USAGE;
    }

    Job job;
    std::vector<std::string> errors;
    if (!parse_job(name, text, job, errors)) {
        for (const std::string &e : errors)
            std::cerr << e << "\n";
        std::cerr << "korva3: nothing was run\n";
        return EXIT_USAGE;
    }

    std::string error;
    if (!plot_path.empty() && !check_writable(plot_path, error)) {
        std::cerr << "korva3: --plot: " << error << "\nkorva3: nothing was run\n";
        return EXIT_USAGE;
    }
    if (!machine::setup(setup, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    Recording recording;
    int code = run_job(job, options, std::cout, std::cerr, recording);

    if (!plot_path.empty()) {
        std::ofstream out(plot_path, std::ios::binary);
        out << svg_plot(recording);
        out.close();
        if (!out) {
            std::cerr << "korva3: cannot write " << plot_path << "\n";
            return EXIT_JOB_FAILED;
        }
        std::error_code ec;
        std::filesystem::path where = std::filesystem::absolute(plot_path, ec);
        std::cout << "plot: " << (ec ? plot_path : where.string()) << "\n";
    }
    return code;
}
