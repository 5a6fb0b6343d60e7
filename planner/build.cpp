// build.cpp - segments, blends and junction speeds from the program's moves.
#include "planner/build.h"

#include "planner/fillet.h"

#include <algorithm>
#include <cmath>

namespace korva3_planner {


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

// raw_'s segments: the move less what the fillets at either end take, and the fillet
// into `next` (none at the program's end).
void SegmentBuilder::emit(const Segment *next, std::vector<Segment> &out)
{
    Fillet f;
    bool round = next && !raw_.stop_after && !next->has_action &&
                 find_fillet(raw_, *next, tolerance_, f);
    Segment s = cut_start_ > 0 || round ? piece(raw_, cut_start_, round ? f.cut_a : 0) : raw_;
    Segment b;
    if (round) {
        const Segment rest = piece(*next, f.cut_b, 0);
        double c = std::min(1.0, std::max(-1.0, dot(s.dir_end, rest.dir_start)));
        b = blend_arc(s.end, s.dir_end, rest.dir_start, f.radius, std::acos(c));
        double gap = 0;
        for (int k = 0; k < 3; k++)
            gap = std::max(gap, std::fabs(b.end[k] - rest.start[k]));
        if (gap > 1e-7) { // mm: a fillet that does not meet the next move is not taken
            round = false;
            s = cut_start_ > 0 ? piece(raw_, cut_start_, 0) : raw_;
        }
    }
    if (s.length > 1e-12 || s.has_action)
        add(s, out);
    cut_start_ = round ? f.cut_b : 0;
    if (round) {
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
