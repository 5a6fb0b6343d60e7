// options.cpp - reading the korva3 command line.
#include "cli/options.h"
#include "cli/usage.h"

#include <cstdlib>
#include <iostream>
#include <sstream>

namespace korva3_tool {

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

int usage_error(const std::string &message, const char *usage)
{
    std::cerr << "korva3: " << message << "\n" << usage;
    return EXIT_USAGE;
}

namespace {

// One shared option at argv[i] (its value, if any, at argv[i + 1]). Returns true when
// `a` is one the command takes; `problem` is then "" or what is wrong.
bool shared_option(const std::string &a, const char *value, unsigned shared, int &i,
                   CommandLine &cl, bool &cards_given, std::string &problem)
{
    auto needs = [&](const char *what) { problem = a + " needs " + what; return true; };
    int64_t n = 0;
    if ((shared & kQuiet) && a == "--quiet") {
        cl.output = Output::Quiet;
    } else if ((shared & kJobOutput) && a == "--trace") {
        cl.output = Output::Trace;
    } else if ((shared & kJobOutput) && a == "--strict") {
        cl.strict = true;
    } else if ((shared & kOutputFiles) && (a == "--plot" || a == "--csv")) {
        if (!value)
            return needs("a file name");
        (a == "--plot" ? cl.plot_path : cl.csv_path) = value;
        i++;
    } else if ((shared & kLimit) && a == "--limit") {
        if (!value)
            return needs("milliseconds");
        i++;
        if (!parse_number(value, 1, UINT32_MAX / 2, n))
            problem = "--limit: milliseconds, 1 or more";
        cl.limit_ms = static_cast<uint32_t>(n);
    } else if ((shared & kMachine) && a == "--card") {
        CardPlace place;
        if (!value)
            return needs("BUS:DEV:ID");
        i++;
        if (!parse_place(value, place))
            problem = "--card: BUS:DEV:ID, bus and device 0..31, ID 0..15";
        if (!cards_given)
            cl.setup.cards.clear();
        cards_given = true;
        cl.setup.cards.push_back(place);
    } else if ((shared & kMachine) && a == "--slice-us") {
        if (!value)
            return needs("microseconds");
        i++;
        if (!parse_number(value, 0, 1000000, n))
            problem = "--slice-us: 0..1000000";
        cl.setup.slice_us = n;
    } else if ((shared & kMachine) && a == "--queue") {
        if (!value)
            return needs("a slice count");
        i++;
        if (!parse_number(value, 1, 65536, n))
            problem = "--queue: 1..65536";
        cl.setup.queue_size = n;
    } else if ((shared & kPanel) && !kHasPanel &&
               (a == "--panel-keep" || a == "--panel" || a.rfind("--panel=", 0) == 0)) {
        problem = a + ": this korva3 has no panel (built without one, or for real cards)";
    } else if ((shared & kPanel) && (a == "--panel" || a.rfind("--panel=", 0) == 0)) {
        cl.panel = true;
        if (a.size() > 8 && !parse_number(a.c_str() + 8, 1, 65535, n))
            problem = "--panel=PORT: 1..65535";
        cl.panel_port = a.size() > 8 ? static_cast<uint32_t>(n) : 0;
    } else if ((shared & kPanel) && a == "--panel-keep") {
        cl.panel = true;
        cl.panel_keep = true;
    } else {
        return false;
    }
    return true;
}

} // namespace

std::string parse_command_line(int argc, char **argv, const Accepts &accepts, CommandLine &cl)
{
    cl.verb = argc > 1 ? argv[1] : "";
    bool cards_given = false;
    for (int i = 2; i < argc; i++) {
        const std::string a = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        std::string problem;
        if (shared_option(a, value, accepts.shared, i, cl, cards_given, problem)) {
            if (!problem.empty())
                return problem;
            continue;
        }
        const OwnOption *own = nullptr;
        for (const OwnOption &o : accepts.own)
            if (a == o.name)
                own = &o;
        if (own && own->value_name && !value)
            return a + " needs " + own->value_name;
        if (own) {
            problem = own->take(own->value_name ? argv[++i] : nullptr);
            if (!problem.empty())
                return problem;
        } else if (accepts.operand_question && cl.operand.empty() && (a == "-" || a[0] != '-')) {
            cl.operand = a;
        } else {
            return "unknown option '" + a + "'";
        }
    }
    if (accepts.operand_question && cl.operand.empty())
        return cl.verb + ": " + accepts.operand_question;
    return "";
}

} // namespace korva3_tool
