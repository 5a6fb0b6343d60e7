// panel_lines.cpp - the operator's lines from the page into controller requests.
#include "gcode/panel_lines.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace korva3_tool {

namespace kc = korva3_control;

namespace {

int axis_of(const std::string &word)
{
    if (word.size() != 1)
        return -1;
    const char c = static_cast<char>(word[0] & ~0x20); // upper case
    return c == 'X' ? 0 : c == 'Y' ? 1 : c == 'Z' ? 2 : -1;
}

bool number_of(const std::string &word, double &out)
{
    if (word.empty())
        return false;
    char *end = nullptr;
    out = std::strtod(word.c_str(), &end);
    return end == word.c_str() + word.size() && std::isfinite(out);
}

} // namespace

bool read_panel_line(const std::string &line, const korva3_gcode::Settings &settings,
                     PanelLine &out, std::string &why)
{
    std::istringstream in(line);
    std::string id, verb, a, b;
    in >> id >> verb;
    char *end = nullptr;
    out.id = std::strtol(id.c_str(), &end, 10);
    if (id.empty() || *end != '\0' || out.id < 0) {
        why = "a line starts with its number";
        return false;
    }
    out.verb = verb;
    kc::Request &r = out.request;
    r = kc::Request{};
    if (verb == "mdi") {
        std::getline(in >> std::ws, r.text);
        r.ask = kc::Ask::Mdi;
        if (r.text.empty())
            why = "MDI: an empty line";
        return why.empty();
    }
    in >> a >> b;
    double value = 0;
    if (verb == "jog") {
        r.ask = kc::Ask::Jog;
        r.axis = axis_of(a);
        if (r.axis >= 0)
            r.feed_mm_min = settings.max_velocity[r.axis]; // the axis's highest speed
        if (b == "+" || b == "-") {
            r.continuous = true;
            r.direction = b == "+" ? 1 : -1;
        } else if (number_of(b, value) && value != 0 && std::fabs(value) <= 10000) {
            r.number = value;
        } else {
            why = "jog: X, Y or Z and a step of mm (not 0, at most 10000), or + or -";
        }
        if (r.axis < 0)
            why = "jog: X, Y or Z and a step of mm, or + or -";
    } else if (verb == "renew" || verb == "cancel") {
        r.ask = verb == "renew" ? kc::Ask::JogRenew : kc::Ask::JogCancel;
    } else if (verb == "home") {
        r.ask = kc::Ask::Home;
        r.axis = a == "all" ? -1 : axis_of(a);
        if (a != "all" && r.axis < 0)
            why = "home: X, Y, Z or all";
    } else if (verb == "touch") {
        r.ask = kc::Ask::TouchOff;
        r.axis = axis_of(a);
        if (r.axis < 0 || !number_of(b, r.number) || std::fabs(r.number) > 100000)
            why = "touch-off: X, Y or Z and the value it should read (mm)";
    } else if (verb == "from" || verb == "show") {
        r.ask = kc::Ask::RunFrom;
        out.show = verb == "show";
        if (!number_of(a, value) || value < 1 || value > 1e9 || value != std::floor(value))
            why = "run from: a line number from 1";
        r.line = static_cast<int>(value);
    } else if (verb == "open") {
        r.ask = kc::Ask::Load;
        out.name = a;
        if (a.empty() || a.find_first_of("/\\") != std::string::npos || a[0] == '.')
            why = "open: a program's name from the list";
    } else if (verb == "reset") {
        r.ask = kc::Ask::Reset;
    } else {
        why = "unknown: " + verb;
    }
    return why.empty();
}

} // namespace korva3_tool
