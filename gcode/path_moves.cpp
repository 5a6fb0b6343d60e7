// path_moves.cpp - the program's moves for the planner.
#include "gcode/path_moves.h"

#include <cmath>
#include <cstdint>

#include "planner/slicer.h"

namespace korva3_gcode {

namespace kp = korva3_planner;

kp::PathMove path_move(const Move &m, uint32_t action)
{
    kp::PathMove p;
    p.line = m.line;
    if (m.op != Op::Line && m.op != Op::Arc && m.op != Op::Circle) {
        p.kind = kp::Kind::Stop;
        p.action = action;
        return p;
    }
    p.end = m.end;
    p.feed_mm_s = m.feed_mm_min / kSecondsPerMinute;
    p.rapid = m.rapid;
    p.exact_stop = m.exact_stop;
    p.tolerance = m.tolerance;
    if (m.op != Op::Line) {
        p.kind = kp::Kind::Arc;
        p.u = m.u;
        p.v = m.v;
        p.centre = m.centre;
        p.turn = m.turn;
    }
    return p;
}

std::vector<kp::PathMove> path_moves(const Program &program)
{
    std::vector<kp::PathMove> out;
    out.reserve(program.moves.size());
    for (size_t i = 0; i < program.moves.size(); i++)
        out.push_back(path_move(program.moves[i], static_cast<uint32_t>(i)));
    return out;
}

kp::Limits planner_limits(const Settings &s)
{
    kp::Limits l;
    for (int a = 0; a < 3; a++) {
        l.scale[a] = s.scale[a];
        l.max_speed_mm_s[a] = s.max_velocity[a] / kSecondsPerMinute;
        l.max_accel_mm_s2[a] = s.max_accel[a];
    }
    l.slice_us = s.slice_us;
    l.tolerance = s.path_tolerance;
    return l;
}

double planned_ms(const Program &program, const Settings &settings, uint64_t *slices)
{
    kp::Slicer slicer(path_moves(program), planner_limits(settings));
    kp::Slice slice;
    uint32_t action;
    double n = 0; // slices; the stretches inside a profile counted at once
    for (;;) {
        n += slicer.skip();
        kp::Next next = slicer.next(slice, action);
        if (next == kp::Next::Done)
            break;
        n += next == kp::Next::Slice;
    }
    if (slices)
        *slices = n < 1.8e19 ? static_cast<uint64_t>(n) : UINT64_MAX;
    return n * settings.slice_us / 1000.0 + program.dwell_ms;
}

} // namespace korva3_gcode
