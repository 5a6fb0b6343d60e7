// build.cpp - segments, blends and junction speeds from the program's moves.
#include "planner/build.h"

#include <algorithm>
#include <cmath>

namespace korva3_planner {

namespace {

Vec3 along(const Vec3 &p, const Vec3 &d, double t)
{
    return {p[0] + d[0] * t, p[1] + d[1] * t, p[2] + d[2] * t};
}

// The moves' motion as segments, unblended; a Stop ends the segment before it.
std::vector<Segment> raw_segments(const std::vector<PathMove> &moves, const Limits &l,
                                  std::vector<double> &tolerance)
{
    std::vector<Segment> out;
    MmPoint at{};
    PulsePoint at_pulses{}; // `at` rounded: where the card stands at a Stop
    for (const PathMove &m : moves) {
        if (m.kind == Kind::Stop) {
            if (!out.empty())
                out.back().stop_after = true;
            Segment s = line_segment(at, at);
            s.line = m.line;
            s.stop_after = s.has_action = s.exact_end = true;
            s.end_pulses = at_pulses;
            s.action = m.action;
            out.push_back(s);
            tolerance.push_back(0);
            continue;
        }
        Segment s = m.kind == Kind::Arc
                        ? arc_segment(at, m.end, m.u, m.v, m.centre[m.u], m.centre[m.v], m.turn)
                        : line_segment(at, m.end);
        at = m.end;
        at_pulses = to_pulses(m.end, l.scale);
        if (s.length < 1e-12)
            continue; // moves no axis (a move shorter than the rounding)
        s.line = m.line;
        s.feed = m.feed_mm_s;
        s.rapid = m.rapid;
        s.exact_end = true;
        s.end_pulses = at_pulses;
        s.stop_after = m.exact_stop;
        double tol = m.tolerance >= 0 ? m.tolerance : l.tolerance;
        apply_limits(s, l, std::max(tol, 1e-6));
        out.push_back(s);
        tolerance.push_back(tol);
    }
    if (!out.empty())
        out.back().stop_after = true;
    return out;
}

// How far the blend between lines a and b reaches along each from their corner (mm),
// with its radius and turn; 0 when the corner is not blended.
double blend_reach(const Segment &a, const Segment &b, double tolerance, double &r, double &turn)
{
    if (a.arc || b.arc || a.stop_after || b.has_action || tolerance <= 0)
        return 0;
    double c = std::min(1.0, std::max(-1.0, dot(a.dir_end, b.dir_start)));
    turn = std::acos(c);
    if (turn < 1e-9 || turn > kPi - 1e-6)
        return 0; // straight on, or back the way it came
    double half = (kPi - turn) / 2; // half the angle between the lines
    double reach = tolerance * std::cos(half) / (1 - std::sin(half));
    reach = std::min({reach, a.length / 2, b.length / 2});
    r = reach * std::tan(half);
    return reach > 1e-9 ? reach : 0;
}

} // namespace

std::vector<Segment> build_segments(const std::vector<PathMove> &moves, const Limits &limits)
{
    std::vector<double> tolerance;
    std::vector<Segment> raw = raw_segments(moves, limits, tolerance);
    std::vector<Segment> out;
    out.reserve(raw.size() * 2);
    double trim_start = 0; // of the next line, by the blend before it
    for (size_t i = 0; i < raw.size(); i++) {
        Segment s = raw[i];
        double r = 0, turn = 0;
        double reach = i + 1 < raw.size() ? blend_reach(raw[i], raw[i + 1], tolerance[i], r, turn)
                                          : 0;
        if (trim_start > 0 || reach > 0) {
            Segment t = line_segment(along(s.start, s.dir_start, trim_start),
                                     along(s.end, s.dir_end, -reach));
            t.line = s.line;
            t.feed = s.feed;
            t.rapid = s.rapid;
            t.exact_end = reach == 0;
            t.end_pulses = s.end_pulses;
            t.stop_after = s.stop_after;
            t.cap = s.cap;
            t.accel = s.accel;
            s = t;
        }
        if (s.length > 1e-12 || s.has_action)
            out.push_back(s);
        trim_start = reach;
        if (reach > 0) {
            const Segment &next = raw[i + 1];
            Segment b = blend_arc(along(raw[i].end, raw[i].dir_end, -reach), raw[i].dir_end,
                                  next.dir_start, r, turn);
            b.line = next.line;
            b.feed = std::min(raw[i].feed, next.feed); // the slower move's feed
            b.rapid = raw[i].rapid && next.rapid;
            apply_limits(b, limits, std::max(tolerance[i], 1e-6));
            out.push_back(b);
        }
    }
    for (size_t i = 0; i < out.size(); i++) {
        Segment &s = out[i];
        if (i == 0 || out[i - 1].stop_after)
            s.junction = 0;
        else
            s.junction = corner_speed(out[i - 1], s, limits);
    }
    return out;
}

} // namespace korva3_planner
