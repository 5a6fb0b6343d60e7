// gcode_check.cpp - the summary of `korva3 gcode --check`: what a program holds and where
// it goes, for a person (text) or a program (--json).
#include "gcode/gcode_check.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "gcode/modal.h"
#include "gcode/path_moves.h"

namespace korva3_tool {

namespace {

using namespace korva3_gcode;

// What the card is sent, counted, and how far the tool travels.
struct Tally {
    size_t lines = 0, arcs = 0, circles = 0, dwells = 0, pauses = 0;
    double feed_mm = 0, rapid_mm = 0; // path length at feed and at rapid, mm
};

double mm_between(const MmPoint &a, const MmPoint &b)
{
    const korva3_planner::Vec3 d{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    return std::sqrt(korva3_planner::dot(d, d));
}

// An arc's length: the turn on its radius in the plane, with the helix's rise across it.
double arc_mm(const MmPoint &from, const Move &m)
{
    const int w = 3 - m.u - m.v;
    double du = from[m.u] - m.centre[m.u];
    double dv = from[m.v] - m.centre[m.v];
    double round = std::hypot(du, dv) * std::fabs(m.turn);
    double rise = m.end[w] - from[w];
    return std::hypot(round, rise);
}

Tally tally(const Program &p)
{
    Tally t;
    MmPoint at{};
    for (const Move &m : p.moves) {
        switch (m.op) {
        case Op::Line:
            t.lines++;
            (m.rapid ? t.rapid_mm : t.feed_mm) += mm_between(at, m.end);
            break;
        case Op::Arc:
        case Op::Circle:
            (m.op == Op::Arc ? t.arcs : t.circles)++;
            t.feed_mm += arc_mm(at, m);
            break;
        case Op::Dwell: t.dwells++; break;
        case Op::Pause: t.pauses++; break;
        default: break;
        }
        at = m.end;
    }
    return t;
}

} // namespace

std::string mm_text(double v) { return korva3_gcode::number_text(v, 3); }

std::string duration_text(double ms)
{
    char buf[64];
    double s = ms / 1000;
    if (s < 60)
        std::snprintf(buf, sizeof buf, "%.1f s", s);
    else if (s < 360000)
        std::snprintf(buf, sizeof buf, "%d min %.1f s", static_cast<int>(s / 60),
                      s - 60 * std::floor(s / 60));
    else // beyond 100 hours: a program that will not end in a working day
        std::snprintf(buf, sizeof buf, "%.4g hours", s / 3600);
    return buf;
}

void report_check(const Program &p, const Settings &s, std::ostream &out)
{
    uint64_t slices = 0;
    double ms = planned_ms(p, s, &slices);
    Tally t = tally(p);
    const PulsePoint end = korva3_planner::to_pulses(p.end, s.scale);
    out << p.name << ": " << p.lines << " lines, no errors; the card gets " << t.lines
        << " lines, " << t.arcs << " arcs, " << t.circles << " circles\n";
    const char *axes = "XYZ";
    out << "extent (mm from where the card starts):";
    for (int a = 0; a < 3; a++)
        out << "  " << axes[a] << " " << mm_text(p.extent.low[a]) << " .. "
            << mm_text(p.extent.high[a]);
    out << "\nends at (pulses): X " << end[0] << "  Y " << end[1] << "  Z " << end[2]
        << "\nplanned time: " << duration_text(ms) << " (" << slices << " slices of "
        << s.slice_us << " us";
    if (p.dwell_ms > 0)
        out << ", dwells " << duration_text(p.dwell_ms);
    out << "; " << static_cast<uint64_t>(std::llround(ms)) << " ms)\n";
    out << "work offsets:";
    for (const std::string &c : p.coords_used)
        out << " " << c;
    out << "\ntools:";
    for (int tool : p.tools_used)
        out << " T" << tool;
    out << (p.tools_used.empty() ? " none\n" : "\n");
    out << "ends at (mm from where the card starts): X " << mm_text(end[0] / s.scale[0])
        << "  Y " << mm_text(end[1] / s.scale[1]) << "  Z " << mm_text(end[2] / s.scale[2])
        << "\npath: " << mm_text(t.feed_mm) << " mm at feed, " << mm_text(t.rapid_mm)
        << " mm rapid; " << t.dwells << " dwells, " << t.pauses << " pauses\n";
    for (const Move &m : p.moves)
        if (m.op == Op::Pause)
            out << p.name << ":" << m.line << ": pause: " << m.note << "\n";
    for (const Program::Message &msg : p.messages)
        out << p.name << ":" << msg.line << ": message: " << msg.text << "\n";
}

void report_check_json(const Program &p, const Settings &s, std::ostream &out)
{
    using nlohmann::json;
    uint64_t slices = 0;
    double ms = planned_ms(p, s, &slices);
    Tally t = tally(p);
    const PulsePoint end = korva3_planner::to_pulses(p.end, s.scale);
    json j;
    j["file"] = p.name;
    j["accepted"] = true;
    j["lines"] = p.lines;
    j["moves"] = {{"lines", t.lines}, {"arcs", t.arcs}, {"circles", t.circles},
                  {"dwells", t.dwells}, {"pauses", t.pauses}};
    j["path_mm"] = {{"feed", t.feed_mm}, {"rapid", t.rapid_mm}};
    j["extent_mm"] = {{"low", p.extent.low}, {"high", p.extent.high}};
    j["end_pulses"] = end;
    j["end_mm"] = {end[0] / s.scale[0], end[1] / s.scale[1], end[2] / s.scale[2]};
    j["scale"] = s.scale; // pulses per mm: the resolution of every number above
    j["planned_ms"] = ms;
    j["slices"] = slices;
    j["dwell_ms"] = p.dwell_ms;
    j["work_offsets"] = p.coords_used;
    j["tools"] = p.tools_used;
    j["pauses"] = json::array();
    for (const Move &m : p.moves)
        if (m.op == Op::Pause)
            j["pauses"].push_back({{"line", m.line}, {"note", m.note}});
    j["messages"] = json::array();
    for (const Program::Message &msg : p.messages)
        j["messages"].push_back({{"line", msg.line}, {"text", msg.text}});
    out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

void report_refused_json(const std::string &name, const std::vector<std::string> &errors,
                         std::ostream &out)
{
    nlohmann::json j;
    j["file"] = name;
    j["accepted"] = false;
    j["errors"] = errors;
    out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

} // namespace korva3_tool
