// check.cpp - warnings found by reading a job.
#include "job/check.h"

#include <cmath>
#include <map>
#include <set>

#include "planner/geometry.h"

namespace korva3_tool {

namespace {

using korva3_planner::kPi;

// The argument called `name`, or -1 when the function has none.
int arg_index(const Function &f, const std::string &name)
{
    std::vector<Param> params = params_of(f);
    for (size_t i = 0; i < params.size(); i++)
        if (params[i].name == name)
            return static_cast<int>(i);
    return -1;
}

bool has(const Step &s, const char *name) { return arg_index(*s.function, name) >= 0; }

int64_t arg(const Step &s, const char *name) { return s.args[arg_index(*s.function, name)]; }

bool starts_with(const char *text, const char *prefix)
{
    return std::string(text).rfind(prefix, 0) == 0;
}

// Centre and end of circles and arcs, whichever plane they are in.
bool is_circle(const Function &f) { return starts_with(f.name, "INTP_CIRCLE"); }
bool is_arc(const Function &f) { return starts_with(f.name, "INTP_ARC"); }

} // namespace

bool is_path_call(const Function &f)
{
    return starts_with(f.name, "INTP_") && std::string(f.name) != "INTP_STOP" &&
           std::string(f.name) != "INTP_ONLINE_SETSPEED";
}

bool is_stepwise(const Function &f)
{
    std::string n = f.name;
    return is_path_call(f) && n.size() > 2 && n.compare(n.size() - 2, 2, "02") == 0;
}

double path_length(const Step &s)
{
    if (s.verb != Verb::Call || !is_path_call(*s.function))
        return 0;
    const Function &f = *s.function;
    if (is_circle(f))
        return 2 * kPi * std::hypot(double(arg(s, "center_u")), double(arg(s, "center_v")));
    if (is_arc(f)) {
        double chord = std::hypot(double(arg(s, "end_u")), double(arg(s, "end_v")));
        double r = std::fabs(double(arg(s, "radius")));
        if (r <= 0)
            return 0;
        double angle = 2 * std::asin(std::min(1.0, chord / (2 * r)));
        if (arg(s, "radius") < 0)
            angle = 2 * kPi - angle;
        return r * angle;
    }
    if (has(s, "dx"))
        return std::sqrt(double(arg(s, "dx")) * arg(s, "dx") + double(arg(s, "dy")) * arg(s, "dy") +
                         double(arg(s, "dz")) * arg(s, "dz"));
    if (has(s, "du"))
        return std::hypot(double(arg(s, "du")), double(arg(s, "dv")));
    if (has(s, "x_pulses"))
        return std::sqrt(double(arg(s, "x_pulses")) * arg(s, "x_pulses") +
                         double(arg(s, "y_pulses")) * arg(s, "y_pulses") +
                         double(arg(s, "z_pulses")) * arg(s, "z_pulses"));
    return 0;
}

std::string warning_text(const std::string &job, const Warning &w)
{
    return job + ":" + std::to_string(w.line) + ": warning: " + w.text;
}

std::vector<Warning> check_job(const Job &job)
{
    std::vector<Warning> out;
    bool initial = false;
    std::set<int64_t> registered, unregistered_warned;
    std::map<int64_t, int> stepwise; // card -> line of a stepwise request not yet polled
    for (const Step &s : job.steps) {
        auto warn = [&](const std::string &text) { out.push_back({s.line, text}); };
        if (s.verb == Verb::Wait && stepwise.count(s.args[0])) {
            warn("wait does not pump the stepwise request of line " +
                 std::to_string(stepwise[s.args[0]]) + ": use poll");
            stepwise.erase(s.args[0]);
        }
        if (s.verb == Verb::Poll)
            stepwise.erase(s.args[0]);
        if (s.verb != Verb::Call)
            continue;
        const Function &f = *s.function;
        const std::string name = f.name;
        if (name == "INITIAL")
            initial = true;
        if (name == "REGISTRATION") {
            if (!initial)
                warn("REGISTRATION before INITIAL: the library finds no card");
            registered.insert(arg(s, "card"));
            continue;
        }
        if (has(s, "card") && !registered.count(arg(s, "card")) &&
            unregistered_warned.insert(arg(s, "card")).second)
            warn(name + ": card " + std::to_string(arg(s, "card")) +
                 " is not registered by an earlier line: the call reaches no card");
        if (has(s, "axis") && (arg(s, "axis") < 1 || arg(s, "axis") > 3))
            warn(name + ": axis " + std::to_string(arg(s, "axis")) +
                 " is not an axis (1 = X, 2 = Y, 3 = Z): nothing moves");
        if (has(s, "plane") && (arg(s, "plane") < 1 || arg(s, "plane") > 3))
            warn(name + ": plane " + std::to_string(arg(s, "plane")) +
                 " is not a plane (1 = XY, 2 = XZ, 3 = YZ)");
        if (has(s, "speed") && arg(s, "speed") == 0)
            warn(name + ": speed 0" +
                 (name == "INTP_ONLINE_SETSPEED" ? std::string(" is taken as 1: the path crawls")
                                                 : std::string(": nothing moves")));
        if (is_circle(f) && arg(s, "center_u") == 0 && arg(s, "center_v") == 0)
            warn(name + ": the centre is the start point (radius 0): nothing is sent");
        if (is_arc(f)) {
            double chord = std::hypot(double(arg(s, "end_u")), double(arg(s, "end_v")));
            if (2 * std::fabs(double(arg(s, "radius"))) < chord)
                warn(name + ": the radius is shorter than half the chord (" +
                     std::to_string(static_cast<long long>(std::ceil(chord / 2))) +
                     "): the library refuses the arc");
        }
        if (is_stepwise(f) && has(s, "card"))
            stepwise[arg(s, "card")] = s.line;
    }
    for (const auto &[card, line] : stepwise)
        out.push_back({line, "the stepwise request is never pumped (no poll of card " +
                                 std::to_string(card) + " after it): it does not run to its end"});
    return out;
}

} // namespace korva3_tool
