// build.cpp - segments, blends and junction speeds from the program's moves.
#include "planner/build.h"

#include "planner/fillet.h"
#include "planner/skew_fillet.h"

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
    // raw_ less the fraction c1 of its end (and what the fillet before it took), from
    // where that fillet ended.
    auto cut = [&](double c1) {
        Segment p = cut_start_ > 0 || c1 > 0 ? piece(raw_, cut_start_, c1) : raw_;
        if (moved_start_)
            p = moved_line(p, start_at_, p.end);
        return p;
    };
    const bool may = next && !raw_.stop_after && !next->has_action;
    Fillet f;
    bool round = may && find_fillet(raw_, *next, tolerance_, f);
    Segment s = cut(round ? f.cut_a : 0);
    Segment b;
    if (round) {
        const Segment rest = piece(*next, f.cut_b, 0);
        b = fillet_arc(f, s, rest);
        // The fillet's ends on the two moves, its turn towards the side it rounds, and
        // its tangents those of the moves there within 0.001 radians (an arc whose end
        // lies a little off its circle is a spiral, and so is the fillet; what is left
        // of a turn is taken within the slice, at the junction's speed: corner_speed).
        bool meets = b.length > 0 && b.turn * f.side > 0;
        for (int k = 0; k < 3; k++)
            meets = meets && std::fabs(b.end[k] - rest.start[k]) < 1e-9 &&
                    std::fabs(b.dir_start[k] - s.dir_end[k]) < 1e-3 &&
                    std::fabs(b.dir_end[k] - rest.dir_start[k]) < 1e-3;
        if (!meets) {
            round = false;
            s = cut(0);
        }
    }
    // A line and an arc out of one plane (a plunge or a lift at an arc, a helix).
    SkewFillet k;
    const bool skew = !round && may && find_skew_fillet(raw_, *next, tolerance_, k);
    if (skew) {
        s = cut(k.cut_a);
        if (k.a_line)
            s = moved_line(s, s.start, k.line_end);
        b = k.blend;
    }
    if (moved_start_ || (skew && k.a_line))
        apply_limits(s, limits_, std::max(tolerance_, 1e-6));
    if (s.length > 1e-12 || s.has_action)
        add(s, out);
    cut_start_ = round ? f.cut_b : skew ? k.cut_b : 0;
    moved_start_ = skew && !k.a_line;
    start_at_ = k.line_end;
    if (round || skew) {
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
