// gcode_check.cpp - the summary of `korva3 gcode --check`: what a program holds and where
// it goes, for a person (text) or a program (--json).
#include "gcode/gcode_check.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "control/figures_text.h"

namespace korva3_tool {

using korva3_control::duration_text;
using korva3_control::mm_text;
using korva3_control::LineNote;
using korva3_control::ProgramCheck;
using korva3_gcode::Settings;

void report_check(const ProgramCheck &c, const Settings &s, std::ostream &out)
{
    const korva3_planner::PulsePoint end = korva3_planner::to_pulses(c.end, s.scale);
    out << c.name << ": " << c.lines << " lines, no errors; the card gets " << c.line_moves
        << " lines, " << c.arcs << " arcs, " << c.circles << " circles\n";
    const char *axes = "XYZ";
    out << "extent (mm from where the card starts):";
    for (int a = 0; a < 3; a++)
        out << "  " << axes[a] << " " << mm_text(c.extent.low[a]) << " .. "
            << mm_text(c.extent.high[a]);
    out << "\nends at (pulses): X " << end[0] << "  Y " << end[1] << "  Z " << end[2]
        << "\nplanned time: " << duration_text(c.planned_ms) << " (" << c.slices
        << " slices of " << s.slice_us << " us";
    if (c.dwell_ms > 0)
        out << ", dwells " << duration_text(c.dwell_ms);
    out << "; " << static_cast<uint64_t>(std::llround(c.planned_ms)) << " ms)\n";
    out << "work offsets:";
    for (const std::string &o : c.coords_used)
        out << " " << o;
    out << "\ntools:";
    for (int tool : c.tools_used)
        out << " T" << tool;
    out << (c.tools_used.empty() ? " none\n" : "\n");
    out << "ends at (mm from where the card starts): X " << mm_text(end[0] / s.scale[0])
        << "  Y " << mm_text(end[1] / s.scale[1]) << "  Z " << mm_text(end[2] / s.scale[2])
        << "\npath: " << mm_text(c.feed_mm) << " mm at feed, " << mm_text(c.rapid_mm)
        << " mm rapid; " << c.dwells << " dwells, " << c.pauses << " pauses\n";
    for (const LineNote &n : c.pause_notes)
        out << c.name << ":" << n.line << ": pause: " << n.text << "\n";
    for (const LineNote &n : c.messages)
        out << c.name << ":" << n.line << ": message: " << n.text << "\n";
    if (c.notes_left_out)
        out << c.name << ": ... and " << c.notes_left_out << " more pauses and messages\n";
}

void report_check_json(const ProgramCheck &c, const Settings &s, std::ostream &out)
{
    using nlohmann::json;
    const korva3_planner::PulsePoint end = korva3_planner::to_pulses(c.end, s.scale);
    json j;
    j["file"] = c.name;
    j["accepted"] = true;
    j["lines"] = c.lines;
    j["moves"] = {{"lines", c.line_moves}, {"arcs", c.arcs}, {"circles", c.circles},
                  {"dwells", c.dwells}, {"pauses", c.pauses}};
    j["path_mm"] = {{"feed", c.feed_mm}, {"rapid", c.rapid_mm}};
    j["extent_mm"] = {{"low", c.extent.low}, {"high", c.extent.high}};
    j["end_pulses"] = end;
    j["end_mm"] = {end[0] / s.scale[0], end[1] / s.scale[1], end[2] / s.scale[2]};
    j["scale"] = s.scale; // pulses per mm: the resolution of every number above
    j["planned_ms"] = c.planned_ms;
    j["slices"] = c.slices;
    j["dwell_ms"] = c.dwell_ms;
    j["work_offsets"] = c.coords_used;
    j["tools"] = c.tools_used;
    j["pauses"] = json::array();
    for (const LineNote &n : c.pause_notes)
        j["pauses"].push_back({{"line", n.line}, {"note", n.text}});
    j["messages"] = json::array();
    for (const LineNote &n : c.messages)
        j["messages"].push_back({{"line", n.line}, {"text", n.text}});
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
