// card_moves.cpp - a program's paths as the card's moves: lines in their plane or in
// X, Y and Z, arcs as the library's arcs and circles, each with its speed in pulses of
// path per slice and the slices it will take; and the extent of the path.
#include <cmath>

#include "gcode/arc_fit.h"
#include "gcode/reader.h"

namespace korva3_gcode {

namespace {

constexpr double kMostRadius = 683565275.0; // a full turn must stay below 2^32 pulses
const char *kOffsets = "IJK"; // the arc's centre from its start, along X, Y, Z

} // namespace

Move Reader::here(Op op) const
{
    Move m;
    m.op = op;
    m.line = line_;
    m.to = st_.at;
    for (int a = 0; a < 3; a++)
        m.ideal_to[a] = st_.pos[a] * set_.scale[a];
    return m;
}

void Reader::extend(const Point &mm)
{
    for (int a = 0; a < 3; a++) {
        prog_.extent.low[a] = std::fmin(prog_.extent.low[a], mm[a]);
        prog_.extent.high[a] = std::fmax(prog_.extent.high[a], mm[a]);
    }
}

bool Reader::line_move(const Point &target, const Pulses &to)
{
    extend(target);
    int64_t d[3];
    for (int a = 0; a < 3; a++)
        d[a] = to[a] - st_.at[a];
    if (d[0] == 0 && d[1] == 0 && d[2] == 0)
        return true;
    Move m = here(Op::Line);
    m.to = to;
    for (int a = 0; a < 3; a++)
        m.ideal_to[a] = target[a] * set_.scale[a];
    m.feed = st_.motion == kRapid ? set_.rapid : st_.feed * unit();
    m.rapid = st_.motion == kRapid;
    if (d[0] && d[1] && d[2])
        m.plane = 0;
    else if (!d[2])
        m = with_plane(m, 1, d[0], d[1]);
    else if (!d[1])
        m = with_plane(m, 2, d[0], d[2]);
    else
        m = with_plane(m, 3, d[1], d[2]);
    if (m.plane == 0) {
        m.u = static_cast<int32_t>(d[0]);
        m.v = static_cast<int32_t>(d[1]);
        m.w = static_cast<int32_t>(d[2]);
    }
    prog_.moves.push_back(m);
    return true;
}

Move Reader::with_plane(Move m, uint32_t plane, int64_t du, int64_t dv)
{
    m.plane = plane;
    m.u = static_cast<int32_t>(du);
    m.v = static_cast<int32_t>(dv);
    return m;
}

// G2 or G3: the arc's plane and centre, checked, then its moves.
bool Reader::arc_move(const LineWords &l, const Point &target, const Pulses &to)
{
    Arc arc;
    arc.plane = arc_plane(st_.plane);
    const ArcPlane &p = arc.plane;
    if (!arc_in_plane(l, p, to))
        return false;
    arc.ccw = counter_clockwise(st_.motion, p);
    arc.start = {st_.pos[p.u], st_.pos[p.v]};
    arc.end = {target[p.u], target[p.v]};
    arc.full = std::hypot(arc.end.u - arc.start.u, arc.end.v - arc.start.v) < kSamePoint;
    bool centred = has(l, 'R') ? centre_from_r(l, arc) : centre_from_offsets(l, arc);
    if (!centred || !arc_radius(arc))
        return false;
    arc.sweep = arc_sweep(arc.start, arc.end, arc.centre, arc.ccw, arc.full);
    arc_extent(arc, target);
    return add_arc(arc, target, to);
}

// An arc lies in its plane, on axes of one scale.
bool Reader::arc_in_plane(const LineWords &l, const ArcPlane &p, const Pulses &to)
{
    if (has(l, kOffsets[p.across]))
        return refuse(std::string(1, kOffsets[p.across]) + " is no offset of the " + p.name);
    if (to[p.across] != st_.at[p.across])
        return refuse(std::string("helical arc: ") + kAxes[p.across] +
                      " moves in an arc of the " + p.name + " (not supported)");
    if (set_.scale[p.v] != set_.scale[p.u])
        return refuse(std::string("an arc in the ") + p.name + " needs one scale for " +
                      kAxes[p.u] + " and " + kAxes[p.v] + " (they are " +
                      number_text(set_.scale[p.u]) + " and " + number_text(set_.scale[p.v]) +
                      " pulses per mm)");
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
    if (r == 0 || chord > 2 * std::fabs(r) + set_.arc_tolerance)
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
    auto offset = [&](char c) { return has(l, c) ? l.values.at(c) * unit() : 0; };
    arc.centre = {arc.start.u + offset(ou), arc.start.v + offset(ov)};
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
    if (std::fabs(r0 - r1) > std::fmax(set_.arc_tolerance, 0.001 * r0))
        return refuse("the end point is not on the arc's circle: radius " +
                      number_text(r0 / unit()) + " at the start, " +
                      number_text(r1 / unit()) + " at the end");
    arc.radius = r0;
    return true;
}

// The arc's end point and every quarter-turn point it passes, for the extent.
void Reader::arc_extent(const Arc &arc, const Point &target)
{
    extend(target);
    for (const PlanePoint &q : quarter_points(arc.centre, arc.radius, arc.sweep)) {
        Point p = target;
        p[arc.plane.u] = q.u;
        p[arc.plane.v] = q.v;
        extend(p);
    }
}

// The arc in pulses as the card's moves: a full turn as one library circle where one
// fits, an arc of a pulse or two as a line, any other as library arcs.
bool Reader::add_arc(const Arc &arc, const Point &target, const Pulses &to)
{
    const ArcPlane &p = arc.plane;
    double k = set_.scale[p.u];
    double radius = arc.radius * k;
    if (radius > kMostRadius)
        return refuse("an arc of radius " + number_text(arc.radius / unit()) + ": more than " +
                      number_text(kMostRadius) + " pulses");
    Move m = here(Op::Arc);
    m.plane = p.library_plane;
    m.feed = st_.feed * unit();
    m.centre = m.ideal_to; // the start: across the plane the centre stays there
    m.centre[p.u] = arc.centre.u * k;
    m.centre[p.v] = arc.centre.v * k;
    m.ideal_radius = radius;
    PlanePoint start{static_cast<double>(st_.at[p.u]), static_cast<double>(st_.at[p.v])};
    PlanePoint centre{m.centre[p.u], m.centre[p.v]};
    if (arc.full && add_circle(m, start, centre, arc.ccw))
        return true;
    if (radius < 2) // an arc of a pulse or two: a line does it
        return line_move(target, to);
    PlanePoint end{static_cast<double>(to[p.u]), static_cast<double>(to[p.v])};
    add_arc_pieces(m, arc, start, end, centre);
    return true;
}

// A full turn as the library's circle; false when none stays on the program's.
bool Reader::add_circle(Move m, PlanePoint start, PlanePoint centre, bool ccw)
{
    int32_t cu, cv;
    if (!fit_circle(start, centre, m.ideal_radius, cu, cv))
        return false;
    m.op = Op::Circle;
    m.u = cu;
    m.v = cv;
    m.direction = ccw ? 1 : 0;
    prog_.moves.push_back(m);
    return true;
}

// The arc as library arcs (see arc_fit.h), each `m` with its own end and radius.
void Reader::add_arc_pieces(const Move &m, const Arc &arc, PlanePoint start, PlanePoint end,
                            PlanePoint centre)
{
    const ArcPlane &p = arc.plane;
    Pulses at = st_.at;
    double angle = arc.sweep.start_angle;
    for (const ArcPiece &piece :
         fit_arc(start, end, centre, m.ideal_radius, angle, arc.sweep.turn)) {
        angle += piece.direction ? piece.turn : -piece.turn;
        Move a = m;
        a.u = piece.end_u;
        a.v = piece.end_v;
        a.radius = piece.radius;
        a.direction = piece.direction;
        at[p.u] += piece.end_u;
        at[p.v] += piece.end_v;
        a.to = at;
        a.ideal_to = m.centre;
        a.ideal_to[p.u] = centre.u + m.ideal_radius * std::cos(angle);
        a.ideal_to[p.v] = centre.v + m.ideal_radius * std::sin(angle);
        prog_.moves.push_back(a);
    }
}

} // namespace korva3_gcode
