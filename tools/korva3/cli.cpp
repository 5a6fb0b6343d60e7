// cli.cpp - reading the korva3 command line.
#include "cli.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace korva3_tool {

const char *const kUsage =
    "usage: korva3 run JOB [options]    run a job file (- reads standard input)\n"
    "       korva3 check JOB            check a job without running it\n"
    "       korva3 demo [options]       run the built-in demo, write demo.svg here\n"
    "       korva3 demo --print         show the demo's job file\n"
    "       korva3 functions            list the functions and verbs a job can use\n"
    "       korva3 trace TRACE          summarise a virtual card's trace file\n"
    "       korva3 plot TRACE --plot FILE.svg   draw a virtual card's trace file\n"
    "       korva3 --version            show the version\n"
    "options:\n"
    "  --plot FILE.svg     draw the path the card executed and the speed profile\n"
    "  --csv FILE.csv      write every executed position (time_ms,card,line,x,y,z)\n"
    "  --quiet             print only the final positions (and errors)\n"
    "  --trace             also print every frame the card received, in hex\n"
    "  --strict            fail on warnings (calls that reach no card, refused paths, ...)\n"
    "  --limit MS          fail the job when it takes longer (default 600000)\n"
    "virtual card only:\n"
    "  --card BUS:DEV:ID   put a card at this PCI place with this ID switch (repeat for\n"
    "                      more; default one card 0:1:0)\n"
    "  --slice-us N        slice period of the controllers in microseconds\n"
    "  --queue N           slices the controllers' queues hold\n"
    "  --panel[=PORT]      show the machine in the browser while the job runs, in real\n"
    "                      time; prints the address to open (127.0.0.1 only)\n"
    "Ctrl-C stops every registered card (emergency stop) and exits with 130.\n";

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

std::string where(const std::string &path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    return ec ? path : p.string();
}

std::string parse_command_line(int argc, char **argv, CommandLine &cl)
{
    if (argc < 2)
        return "what to do?";
    cl.command = argv[1];
    if (cl.command == "--help" || cl.command == "-h")
        cl.command = "help";
    if (cl.command == "help" || cl.command == "functions")
        return "";
    if (cl.command != "run" && cl.command != "demo" && cl.command != "check")
        return "unknown command '" + cl.command + "'";

    bool cards_given = false;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needs = [&](const char *what) { return a + " needs " + what; };
        int64_t n;
        if (a == "--quiet") {
            cl.options.output = Output::Quiet;
        } else if (a == "--trace") {
            cl.options.output = Output::Trace;
        } else if (a == "--strict") {
            cl.options.strict = true;
        } else if (a == "--print" && cl.command == "demo") {
            cl.print_demo = true;
        } else if (a == "--plot" || a == "--csv") {
            if (!value)
                return needs("a file name");
            (a == "--plot" ? cl.plot_path : cl.csv_path) = argv[++i];
        } else if (a == "--limit") {
            if (!value)
                return needs("milliseconds");
            if (!parse_number(argv[++i], 1, UINT32_MAX / 2, n))
                return "--limit: milliseconds, 1 or more";
            cl.options.limit_ms = static_cast<uint32_t>(n);
        } else if (a == "--card") {
            CardPlace place;
            if (!value)
                return needs("BUS:DEV:ID");
            if (!parse_place(argv[++i], place))
                return "--card: BUS:DEV:ID, bus and device 0..31, ID 0..15";
            if (!cards_given)
                cl.setup.cards.clear();
            cards_given = true;
            cl.setup.cards.push_back(place);
        } else if (a == "--slice-us") {
            if (!value)
                return needs("microseconds");
            if (!parse_number(argv[++i], 0, 1000000, n))
                return "--slice-us: 0..1000000";
            cl.setup.slice_us = n;
        } else if (a == "--queue") {
            if (!value)
                return needs("a slice count");
            if (!parse_number(argv[++i], 1, 65536, n))
                return "--queue: 1..65536";
            cl.setup.queue_size = n;
        } else if (a == "--panel" || a.rfind("--panel=", 0) == 0) {
            cl.panel = true;
            if (a.size() > 8 && !parse_number(a.c_str() + 8, 1, 65535, n))
                return "--panel=PORT: 1..65535";
            cl.panel_port = a.size() > 8 ? static_cast<uint32_t>(n) : 0;
        } else if (cl.command != "demo" && cl.job_path.empty() && (a == "-" || a[0] != '-')) {
            cl.job_path = a;
        } else {
            return "unknown option '" + a + "'";
        }
    }
    if (cl.command != "demo" && cl.job_path.empty())
        return cl.command + ": which job file?";
    return "";
}

} // namespace korva3_tool
