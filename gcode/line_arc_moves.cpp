// line_arc_moves.cpp - G0, G1, G2 and G3 as the program's moves: lines, and arcs (full
// circles and helices too) each as one move with its centre, plane and turn, in machine
// mm; and the extent of the path.
#include <cmath>

#include "gcode/reader.h"

namespace korva3_gcode {

namespace {

constexpr double kMaxRadius = 683565275.0; // a full turn must stay below 2^32 pulses
constexpr double kMaxTurns = 1000;         // G2 / G3 P: whole turns of one arc
constexpr double kChordTolerance = 0.005;  // mm an R arc's chord may pass its diameter
const char *kOffsets = "IJK"; // the arc's centre from its start, along X, Y, Z

} // namespace

Move Reader::here(Op op) const
{
    Move m;
    m.op = op;
    m.line = line_;
    m.end = st_.pos;
    m.exact_stop = st_.exact_stop;
    m.tolerance = st_.tolerance;
    return m;
}

bool Reader::emit(const Move &m)
{
    if (sum_.stopped)
        return false;
    sum_.move_count++;
    if (!sink_.move(m))
        sum_.stopped = true;
    return !sum_.stopped;
}

void Reader::extend(const MmPoint &mm)
{
    for (int a = 0; a < 3; a++) {
        sum_.extent.low[a] = std::fmin(sum_.extent.low[a], mm[a]);
        sum_.extent.high[a] = std::fmax(sum_.extent.high[a], mm[a]);
    }
}

// A line that moves no axis by a pulse is no move of the card: left out.
bool Reader::line_move(const MmPoint &target)
{
    extend(target);
    if (korva3_planner::to_pulses(target, set_.scale) ==
        korva3_planner::to_pulses(st_.pos, set_.scale))
        return true;
    Move m = here(Op::Line);
    m.end = target;
    m.feed_mm_min = st_.motion == kRapid ? set_.rapid : st_.feed * unit();
    m.rapid = st_.motion == kRapid;
    emit(m);
    return true;
}

// G2 or G3: the arc's plane and centre, checked, then its moves.
bool Reader::arc_move(const LineWords &l, const MmPoint &target)
{
    Arc arc;
    arc.plane = arc_plane(st_.plane);
    const ArcPlane &p = arc.plane;
    if (!arc_in_plane(l, p))
        return false;
    arc.ccw = counter_clockwise(st_.motion, p);
    arc.start = {st_.pos[p.u], st_.pos[p.v]};
    arc.end = {target[p.u], target[p.v]};
    arc.full = std::hypot(arc.end.u - arc.start.u, arc.end.v - arc.start.v) < kSamePoint;
    bool centred = has(l, 'R') ? centre_from_r(l, arc) : centre_from_offsets(l, arc);
    if (!centred || !arc_radius(arc))
        return false;
    arc.sweep = arc_sweep(arc.start, arc.end, arc.centre, arc.ccw, arc.full);
    if (has(l, 'P')) { // P turns: P - 1 whole turns before the arc's end is reached
        const double n = l.values.at('P');
        if (!(n >= 1 && n == std::floor(n) && n <= kMaxTurns))
            return refuse(word_text('G', st_.motion) + " P" + number_text(n) +
                          ": the turns are a whole number 1 .. " + number_text(kMaxTurns));
        arc.sweep.turn += std::copysign(2 * korva3_planner::kPi * (n - 1), arc.sweep.turn);
    }
    arc_extent(arc, target);
    return add_arc(arc, target);
}

// An arc's centre lies in its plane (the axis across it may move: a helix).
bool Reader::arc_in_plane(const LineWords &l, const ArcPlane &p)
{
    if (has(l, kOffsets[p.across]))
        return refuse(std::string(1, kOffsets[p.across]) + " is no offset of the " + p.name);
    return true;
}

bool Reader::centre_from_r(const LineWords &l, Arc &arc)
{
    if (has(l, kOffsets[arc.plane.u]) || has(l, kOffsets[arc.plane.v]))
        return refuse("R and I, J or K on one arc");
    if (arc.full)
        return refuse("a full circle needs I, J or K, not R");
    double r = l.values.at('R') * unit();
    double chord = std::hypot(arc.end.u - arc.start.u, arc.end.v - arc.start.v);
    if (r == 0 || chord > 2 * std::fabs(r) + (set_.arc_tolerance > 0 ? set_.arc_tolerance : kChordTolerance))
        return refuse("R" + number_text(l.values.at('R')) + " cannot reach the end point (" +
                      number_text(chord / unit()) + " away)");
    arc.centre = centre_from_radius(arc.start, arc.end, r, arc.ccw);
    return true;
}

bool Reader::centre_from_offsets(const LineWords &l, Arc &arc)
{
    char ou = kOffsets[arc.plane.u], ov = kOffsets[arc.plane.v];
    if (!has(l, ou) && !has(l, ov))
        return refuse(word_text('G', st_.motion) + " needs " + ou + " and " + ov + ", or R");
    auto value = [&](char c) { return has(l, c) ? l.values.at(c) * unit() : 0; };
    if (st_.arc_absolute) { // G90.1: the centre in program coordinates
        if (!has(l, ou) || !has(l, ov))
            return refuse(word_text('G', st_.motion) + " under G90.1 needs both " + ou + " and " +
                          ov + " (the centre's coordinates)");
        const MmPoint off = offset();
        arc.centre = {value(ou) + off[arc.plane.u], value(ov) + off[arc.plane.v]};
        return true;
    }
    arc.centre = {arc.start.u + value(ou), arc.start.v + value(ov)};
    return true;
}

// The radius: the start's distance from the centre, and the end's the same.
bool Reader::arc_radius(Arc &arc)
{
    const PlanePoint &c = arc.centre;
    double r0 = std::hypot(arc.start.u - c.u, arc.start.v - c.v);
    double r1 = std::hypot(arc.end.u - c.u, arc.end.v - c.v);
    if (r0 < kSamePoint)
        return refuse("the arc's centre is its start point");
    if (std::fabs(r0 - r1) > std::fmax(arc_tolerance(), 0.001 * r0))
        return refuse("the end point is not on the arc's circle: radius " +
                      number_text(r0 / unit()) + " at the start, " +
                      number_text(r1 / unit()) + " at the end");
    arc.radius = r0;
    return true;
}

// The arc's end point and every quarter-turn point it passes, for the extent.
void Reader::arc_extent(const Arc &arc, const MmPoint &target)
{
    extend(target);
    for (const PlanePoint &q : quarter_points(arc.centre, arc.radius, arc.sweep)) {
        MmPoint p = target;
        p[arc.plane.u] = q.u;
        p[arc.plane.v] = q.v;
        extend(p);
    }
}

// The arc as one move: its centre, plane and turn as the program gives them, its end
// (with the third axis's travel of a helix) exact; a whole turn is a Circle.
bool Reader::add_arc(const Arc &arc, const MmPoint &target)
{
    const ArcPlane &p = arc.plane;
    double radius_pulses = arc.radius * std::fmax(set_.scale[p.u], set_.scale[p.v]);
    if (radius_pulses * std::fmax(1, std::fabs(arc.sweep.turn) / (2 * korva3_planner::kPi)) >
        kMaxRadius)
        return refuse("an arc of radius " + number_text(arc.radius / unit()) + ": more than " +
                      number_text(kMaxRadius) + " pulses");
    Move m = here(arc.full ? Op::Circle : Op::Arc);
    m.end = target;
    m.u = p.u;
    m.v = p.v;
    m.feed_mm_min = st_.feed * unit();
    m.centre = st_.pos; // the start: across the plane the centre is not used
    m.centre[p.u] = arc.centre.u;
    m.centre[p.v] = arc.centre.v;
    m.turn = arc.sweep.turn;
    emit(m);
    return true;
}

} // namespace korva3_gcode
