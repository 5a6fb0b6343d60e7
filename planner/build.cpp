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

void SegmentBuilder::push(const PathMove &m, std::vector<Segment> &out)
{
    Segment s;
    double tol = 0;
    if (m.kind == Kind::Stop) {
        if (holding_)
            raw_.stop_after = true; // the move before a Stop ends at rest
        s = line_segment(at_, at_);
        s.line = m.line;
        s.step = m.step;
        s.stop_after = s.has_action = s.exact_end = true;
        s.end_pulses = at_pulses_;
        s.action = m.action;
    } else {
        s = m.kind == Kind::Arc
                ? arc_segment(at_, m.end, m.u, m.v, m.centre[m.u], m.centre[m.v], m.turn)
                : line_segment(at_, m.end);
        at_ = m.end;
        at_pulses_ = to_pulses(m.end, limits_.scale);
        if (s.length < 1e-12)
            return; // moves no axis (a move shorter than the rounding)
        s.line = m.line;
        s.step = m.step;
        s.feed = m.feed_mm_s;
        s.rapid = m.rapid;
        s.exact_end = true;
        s.end_pulses = at_pulses_;
        s.stop_after = m.exact_stop;
        tol = m.tolerance >= 0 ? m.tolerance : limits_.tolerance;
        apply_limits(s, limits_, std::max(tol, 1e-6));
    }
    if (holding_)
        emit(&s, out);
    raw_ = s;
    tolerance_ = tol;
    holding_ = true;
}

void SegmentBuilder::finish(std::vector<Segment> &out)
{
    if (!holding_)
        return;
    raw_.stop_after = true; // the program's end: at rest
    emit(nullptr, out);
    holding_ = false;
}

// raw_'s segments: the line trimmed by the blends at either end (or the arc), and the
// blend into `next` (none at the program's end).
void SegmentBuilder::emit(const Segment *next, std::vector<Segment> &out)
{
    Segment s = raw_;
    double r = 0, turn = 0;
    double reach = next ? blend_reach(raw_, *next, tolerance_, r, turn) : 0;
    if (trim_start_ > 0 || reach > 0) {
        Segment t = line_segment(along(s.start, s.dir_start, trim_start_),
                                 along(s.end, s.dir_end, -reach));
        t.line = s.line;
        t.step = s.step;
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
        add(s, out);
    trim_start_ = reach;
    if (reach > 0) {
        Segment b = blend_arc(along(raw_.end, raw_.dir_end, -reach), raw_.dir_end,
                              next->dir_start, r, turn);
        b.line = next->line;
        b.step = next->step;
        b.feed = std::min(raw_.feed, next->feed); // the slower move's feed
        b.rapid = raw_.rapid && next->rapid;
        apply_limits(b, limits_, std::max(tolerance_, 1e-6));
        add(b, out);
    }
}

// A finished segment, with the highest speed at its start.
void SegmentBuilder::add(const Segment &s, std::vector<Segment> &out)
{
    out.push_back(s);
    Segment &added = out.back();
    added.junction = !made_any_ || last_.stop_after ? 0 : corner_speed(last_, added, limits_);
    last_ = added;
    made_any_ = true;
}

std::vector<Segment> build_segments(const std::vector<PathMove> &moves, const Limits &limits)
{
    SegmentBuilder builder(limits);
    std::vector<Segment> out;
    out.reserve(moves.size() * 2);
    for (const PathMove &m : moves)
        builder.push(m, out);
    builder.finish(out);
    return out;
}

} // namespace korva3_planner
