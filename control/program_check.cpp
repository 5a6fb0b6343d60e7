// program_check.cpp - a program read and planned without moving anything: its errors,
// its figures, the plan's time along its steps, and its outline.
#include "control/program_check.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "gcode/path_moves.h"
#include "planner/slicer.h"

namespace korva3_control {

namespace kg = korva3_gcode;
namespace kp = korva3_planner;

namespace {

double mm_between(const kg::MmPoint &a, const kg::MmPoint &b)
{
    const kp::Vec3 d{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    return std::sqrt(kp::dot(d, d));
}

// An arc's length: the turn on its radius in the plane, with the helix's rise across it.
double arc_mm(const kg::MmPoint &from, const kg::Move &m)
{
    const int w = 3 - m.u - m.v;
    const double du = from[m.u] - m.centre[m.u];
    const double dv = from[m.v] - m.centre[m.v];
    return std::hypot(std::hypot(du, dv) * std::fabs(m.turn), m.end[w] - from[w]);
}

// Points along an arc for the outline: one every 10 degrees or so.
void arc_points(const kg::MmPoint &from, const kg::Move &m, Outline &outline)
{
    const int w = 3 - m.u - m.v;
    const double du = from[m.u] - m.centre[m.u];
    const double dv = from[m.v] - m.centre[m.v];
    const double r0 = std::hypot(du, dv), a0 = std::atan2(dv, du);
    const int n = std::max(2, static_cast<int>(std::ceil(std::fabs(m.turn) / 0.17)));
    for (int i = 1; i < n; i++) {
        const double f = double(i) / n;
        kg::MmPoint p = from;
        p[m.u] = m.centre[m.u] + r0 * std::cos(a0 + f * m.turn);
        p[m.v] = m.centre[m.v] + r0 * std::sin(a0 + f * m.turn);
        p[w] = from[w] + f * (m.end[w] - from[w]);
        outline.add(p, false);
    }
}

} // namespace

ProgramCheck check_program(const std::string &path, const std::string &name,
                           const kg::Settings &settings, const kg::State &start,
                           const kg::ReadOptions &options)
{
    (void)start;
    ProgramCheck c;
    c.path = path;
    c.name = name;
    std::string text;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            c.errors.push_back(name + ": cannot be read");
            return c;
        }
        std::ostringstream s;
        s << in.rdbuf();
        text = s.str();
    }
    kg::Program p;
    if (!kg::read_program(name, text, settings, p, c.errors, options)) {
        c.lines = p.lines;
        return c;
    }
    c.accepted = true;
    c.lines = p.lines;
    c.end = p.end;
    c.extent = p.extent;
    c.dwell_ms = p.dwell_ms;
    c.coords_used = p.coords_used;
    c.tools_used = p.tools_used;
    kg::MmPoint at{};
    c.outline.add(at, true);
    c.moves = p.moves.size();
    for (const kg::Move &m : p.moves) {
        switch (m.op) {
        case kg::Op::Line:
            c.line_moves++;
            (m.rapid ? c.rapid_mm : c.feed_mm) += mm_between(at, m.end);
            c.outline.add(m.end, m.rapid);
            break;
        case kg::Op::Arc:
        case kg::Op::Circle:
            (m.op == kg::Op::Arc ? c.arcs : c.circles)++;
            c.feed_mm += arc_mm(at, m);
            arc_points(at, m, c.outline);
            c.outline.add(m.end, false);
            break;
        case kg::Op::Dwell: c.dwells++; break;
        case kg::Op::Pause:
            c.pauses++;
            if (c.pause_notes.size() < ProgramCheck::kMaxNotes)
                c.pause_notes.push_back({m.line, p.notes[static_cast<std::size_t>(m.note)]});
            else
                c.notes_left_out++;
            break;
        default: break;
        }
        at = m.end;
    }
    c.outline.finish();
    for (const kg::Program::Message &msg : p.messages) {
        if (c.messages.size() < ProgramCheck::kMaxNotes)
            c.messages.push_back({msg.line, msg.text});
        else
            c.notes_left_out++;
    }
    // The plan, as the run makes it: its time at the start of each line's slices.
    kp::Slicer slicer(kg::path_moves(p), kg::planner_limits(settings));
    kp::Slice slice;
    uint32_t action;
    double n = 0;
    int line = -1;
    const double slice_ms = settings.slice_us / 1000.0;
    double dwells = 0;
    for (;;) {
        n += slicer.skip();
        const kp::Next next = slicer.next(slice, action);
        if (next == kp::Next::Done)
            break;
        if (next == kp::Next::Action && p.moves[action].op == kg::Op::Dwell)
            dwells += p.moves[action].ms;
        if (next == kp::Next::Slice) {
            if (slice.line != line) {
                line = slice.line;
                c.progress.mark(static_cast<uint64_t>(line), n * slice_ms + dwells);
            }
            n++;
        }
    }
    c.slices = n < 1.8e19 ? static_cast<uint64_t>(n) : UINT64_MAX;
    c.planned_ms = n * slice_ms + p.dwell_ms;
    c.progress.finish(c.planned_ms);
    return c;
}

} // namespace korva3_control
