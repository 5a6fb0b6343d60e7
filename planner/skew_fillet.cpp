// skew_fillet.cpp - a blend between a line and an arc out of one plane.
#include "planner/skew_fillet.h"

#include <algorithm>
#include <cmath>

namespace korva3_planner {

namespace {

constexpr double kMostCut = 0.5;  // of a move's length a blend may take
constexpr double kReachShare = 0.9; // of the tolerance the blend's reach is planned for;
                                    // the rest covers the line's move

double angle(const Vec3 &a, const Vec3 &b)
{
    return std::acos(std::min(1.0, std::max(-1.0, dot(a, b))));
}

double distance(const Vec3 &a, const Vec3 &b)
{
    return std::sqrt(std::pow(a[0] - b[0], 2) + std::pow(a[1] - b[1], 2) + std::pow(a[2] - b[2], 2));
}

// The arc of the blend leaving `from` along d1 and turning into d2, its reach (mm along
// either tangent from their meeting point) being `reach`; of length 0 where the two
// are tangent or opposed.
Segment blend(const MmPoint &from, const Vec3 &d1, const Vec3 &d2, double reach)
{
    double turn = angle(d1, d2);
    if (turn < 1e-9 || turn > kPi - 1e-6)
        return Segment{};
    double half = (kPi - turn) / 2;
    return blend_arc(from, d1, d2, reach * std::tan(half), turn);
}

} // namespace

Segment moved_line(const Segment &s, const MmPoint &from, const MmPoint &to)
{
    Segment m = line_segment(from, to);
    Segment out = s;
    out.start = m.start;
    out.end = m.end;
    out.length = m.length;
    out.dir_start = m.dir_start;
    out.dir_end = m.dir_end;
    return out;
}

namespace {

// The blend of reach `reach` (mm along either move from the junction).
bool skew_fillet(const Segment &a, const Segment &b, double tolerance, double reach, SkewFillet &f)
{
    const MmPoint &j = a.end;
    f.cut_a = reach / a.length;
    f.cut_b = reach / b.length;
    f.a_line = !a.arc;
    if (a.arc) {
        // From the arc's cut end along its tangent there, into the line.
        const Segment rest = piece(a, 0, f.cut_a);
        f.blend = blend(rest.end, rest.dir_end, b.dir_start, reach);
        f.line_end = f.blend.end;
    } else {
        // Into the arc's cut start along its tangent there, the line's end moved to meet it.
        const Segment rest = piece(b, f.cut_b, 0);
        Segment at0 = blend(MmPoint{}, a.dir_end, rest.dir_start, reach);
        MmPoint from{rest.start[0] - at0.end[0], rest.start[1] - at0.end[1],
                     rest.start[2] - at0.end[2]};
        f.blend = blend(from, a.dir_end, rest.dir_start, reach);
        f.blend.end = rest.start; // the same point, to the last bit
        f.line_end = from;
    }
    if (!(f.blend.length > 0))
        return false;
    // The line's end nearest the junction moved: by a small part of the tolerance, and
    // its direction by at most 0.001 radians (the line's far end is at least half its
    // length away, after the fillet at that end).
    MmPoint planned{}, far = a.arc ? b.end : a.start;
    for (int k = 0; k < 3; k++) {
        if (a.arc)
            planned[k] = j[k] + reach * b.dir_start[k];
        else
            planned[k] = j[k] - reach * a.dir_end[k];
    }
    double shift = distance(planned, f.line_end);
    double far_off = distance(far, f.line_end) / 2;
    if (shift > (1 - kReachShare) * tolerance || shift > 1e-3 * far_off)
        return false;
    return distance(f.blend.point(f.blend.length / 2), j) <= tolerance;
}

} // namespace

bool find_skew_fillet(const Segment &a, const Segment &b, double tolerance, SkewFillet &f)
{
    if (tolerance <= 0 || a.length <= 0 || b.length <= 0 || a.arc == b.arc)
        return false;
    double turn = angle(a.dir_end, b.dir_start);
    if (turn < 1e-9 || turn > kPi - 1e-6)
        return false;
    const double half = (kPi - turn) / 2;
    double reach = kReachShare * tolerance * std::cos(half) / (1 - std::sin(half));
    reach = std::min({reach, a.length * kMostCut, b.length * kMostCut});
    // The reach the tolerance gives, else a shorter one where the curve bends too much
    // over it (the line's end would move too far): half as long each time, 8 times.
    for (int i = 0; i < 8 && reach > 1e-9; i++, reach /= 2)
        if (skew_fillet(a, b, tolerance, reach, f))
            return true;
    return false;
}

} // namespace korva3_planner
