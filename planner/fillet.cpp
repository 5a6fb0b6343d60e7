// fillet.cpp - rounding a junction: closed form between lines, a search for the largest
// radius within the tolerance where an arc takes part.
#include "planner/fillet.h"

#include <algorithm>
#include <cmath>

namespace korva3_planner {

namespace {

constexpr double kMostCut = 0.5; // of a move's length (or turn) a fillet may take

struct V2 {
    double x = 0, y = 0;
};
V2 operator+(V2 a, V2 b) { return {a.x + b.x, a.y + b.y}; }
V2 operator-(V2 a, V2 b) { return {a.x - b.x, a.y - b.y}; }
V2 operator*(double k, V2 a) { return {k * a.x, k * a.y}; }
double dot2(V2 a, V2 b) { return a.x * b.x + a.y * b.y; }
double cross2(V2 a, V2 b) { return a.x * b.y - a.y * b.x; }
double norm2(V2 a) { return std::hypot(a.x, a.y); }

// A segment near the junction, in the plane's coordinates with the junction at 0, 0.
struct Curve {
    bool circle = false;
    V2 d;             // line: unit direction of travel
    V2 c;             // circle: centre, mm
    double r = 0;     // circle: radius at the junction, mm
    double sense = 1; // circle: +1 counter-clockwise in the plane, -1 clockwise
    double length = 0, turn = 0; // the segment's mm and |radians|
};

// Lines with lines: the arc tangent to both whose distance from the corner is the
// tolerance. How far it reaches along each (mm), and its radius.
bool line_fillet(const Segment &a, const Segment &b, double tolerance, Fillet &f)
{
    double c = std::min(1.0, std::max(-1.0, dot(a.dir_end, b.dir_start)));
    double turn = std::acos(c);
    if (turn < 1e-9 || turn > kPi - 1e-6)
        return false; // straight on, or back the way it came
    double half = (kPi - turn) / 2; // half the angle between the lines
    double reach = tolerance * std::cos(half) / (1 - std::sin(half));
    reach = std::min({reach, a.length * kMostCut, b.length * kMostCut});
    if (reach <= 1e-9)
        return false;
    f.radius = reach * std::tan(half);
    f.cut_a = reach / a.length;
    f.cut_b = reach / b.length;
    return true;
}

// The fillet's centre for radius rho, on side `side` (+1: left of the path) of both.
bool centre_for(const Curve &a, const Curve &b, double side, double rho, V2 &centre)
{
    auto offset = [&](const Curve &k) { // the circle's offset radius
        return side == k.sense ? k.r - rho : k.r + rho;
    };
    const Curve *line = !a.circle ? &a : !b.circle ? &b : nullptr;
    if (line) {
        const Curve &k = line == &a ? b : a;
        V2 n{-line->d.y, line->d.x};
        V2 w = side * rho * n - k.c;
        double ro = offset(k);
        if (ro <= 0)
            return false;
        double p = dot2(line->d, w), q = dot2(w, w) - ro * ro, disc = p * p - q;
        if (disc < 0)
            return false;
        double t1 = -p + std::sqrt(disc), t2 = -p - std::sqrt(disc);
        double t = std::fabs(t1) < std::fabs(t2) ? t1 : t2;
        centre = side * rho * n + t * line->d;
        return true;
    }
    double r1 = offset(a), r2 = offset(b);
    V2 dc = b.c - a.c;
    double d = norm2(dc);
    if (r1 <= 0 || r2 <= 0 || d < 1e-12)
        return false;
    double along = (r1 * r1 - r2 * r2 + d * d) / (2 * d), h2 = r1 * r1 - along * along;
    if (h2 < 0)
        return false;
    V2 u = (1 / d) * dc, perp{-u.y, u.x};
    V2 base = a.c + along * u;
    V2 p1 = base + std::sqrt(h2) * perp, p2 = base - std::sqrt(h2) * perp;
    centre = norm2(p1) < norm2(p2) ? p1 : p2;
    return true;
}

// Where a fillet round `centre` of radius rho touches curve k, and the fraction of the
// segment from there to the junction (`before`: k ends at the junction).
bool touch(const Curve &k, V2 centre, double side, double rho, bool before, double &cut)
{
    if (!k.circle) {
        V2 n{-k.d.y, k.d.x};
        V2 p = centre - side * rho * n;
        double s = before ? -dot2(p, k.d) : dot2(p, k.d);
        cut = s / k.length;
    } else {
        V2 rp = centre - k.c, rj = V2{} - k.c;
        double n = norm2(rp);
        if (n < 1e-12)
            return false;
        V2 p = k.c + (k.r / n) * rp;
        V2 from = before ? p - k.c : rj, to = before ? rj : p - k.c;
        double ang = k.sense * std::atan2(cross2(from, to), dot2(from, to));
        cut = ang / k.turn;
    }
    return cut > 0 && cut <= kMostCut;
}

bool fits(const Curve &a, const Curve &b, double side, double rho, double tolerance, Fillet &f,
          V2 &centre)
{
    if (!centre_for(a, b, side, rho, centre) || norm2(centre) - rho > tolerance)
        return false;
    if (!touch(a, centre, side, rho, true, f.cut_a) || !touch(b, centre, side, rho, false, f.cut_b))
        return false;
    f.radius = rho;
    return true;
}

} // namespace

bool find_fillet(const Segment &a, const Segment &b, double tolerance, Fillet &f)
{
    if (tolerance <= 0 || a.length <= 0 || b.length <= 0)
        return false;
    if (!a.arc && !b.arc)
        return line_fillet(a, b, tolerance, f);
    // The plane: the arc's (the first one's); no helix, the other in it too.
    const Segment &arc = a.arc ? a : b;
    const Vec3 e1 = arc.e1, e2 = arc.e2, axis = arc.axis;
    for (const Segment *s : {&a, &b}) {
        if (s->arc && (std::fabs(s->rise) > 1e-9 || std::fabs(std::fabs(dot(s->axis, axis)) - 1) > 1e-9))
            return false;
        if (!s->arc && std::fabs(dot(s->dir_start, axis)) > 1e-9)
            return false;
    }
    const MmPoint &j = a.end;
    auto at = [&](const Vec3 &p) { // a point in the plane, from the junction
        Vec3 d{p[0] - j[0], p[1] - j[1], p[2] - j[2]};
        return V2{dot(d, e1), dot(d, e2)};
    };
    auto dir = [&](const Vec3 &d) {
        V2 v{dot(d, e1), dot(d, e2)};
        return (1 / norm2(v)) * v;
    };
    V2 ta = dir(a.dir_end), tb = dir(b.dir_start);
    double turn = std::atan2(cross2(ta, tb), dot2(ta, tb));
    if (std::fabs(turn) < 1e-9 || std::fabs(turn) > kPi - 1e-6)
        return false;
    const double side = turn > 0 ? 1 : -1;
    auto curve = [&](const Segment &s, V2 t) {
        Curve k;
        k.circle = s.arc;
        k.d = t;
        k.length = s.length;
        k.turn = std::fabs(s.turn);
        if (s.arc) {
            k.c = at(s.centre);
            k.r = norm2(k.c);
            k.sense = cross2(V2{} - k.c, t) > 0 ? 1 : -1;
        }
        return k;
    };
    const Curve ca = curve(a, ta), cb = curve(b, tb);
    // Between lines of the same directions, as the first guess of the radius.
    double half = (kPi - std::fabs(turn)) / 2;
    double guess = tolerance * std::cos(half) / (1 - std::sin(half)) * std::tan(half);
    double lo = 0, hi = 4 * guess;
    Fillet best;
    V2 centre, c;
    if (fits(ca, cb, side, hi, tolerance, best, centre)) {
        lo = hi;
    } else {
        for (int i = 0; i < 48; i++) {
            double mid = (lo + hi) / 2;
            Fillet t;
            if (fits(ca, cb, side, mid, tolerance, t, c)) {
                lo = mid;
                best = t;
                centre = c;
            } else {
                hi = mid;
            }
        }
    }
    if (best.radius <= 1e-9)
        return false;
    f = best;
    f.in_plane = true;
    f.e1 = e1;
    f.e2 = e2;
    f.axis = axis;
    f.side = side;
    for (int k = 0; k < 3; k++)
        f.centre[k] = j[k] + centre.x * e1[k] + centre.y * e2[k];
    return true;
}

Segment fillet_arc(const Fillet &f, const Segment &from_end, const Segment &to_start)
{
    const MmPoint &p = from_end.end, &q = to_start.start;
    if (!f.in_plane) {
        double c = std::min(1.0, std::max(-1.0, dot(from_end.dir_end, to_start.dir_start)));
        return blend_arc(p, from_end.dir_end, to_start.dir_start, f.radius, std::acos(c));
    }
    Vec3 a{p[0] - f.centre[0], p[1] - f.centre[1], p[2] - f.centre[2]};
    Vec3 b{q[0] - f.centre[0], q[1] - f.centre[1], q[2] - f.centre[2]};
    V2 a2{dot(a, f.e1), dot(a, f.e2)}, b2{dot(b, f.e1), dot(b, f.e2)};
    double turn = std::atan2(cross2(a2, b2), dot2(a2, b2));
    return arc_round(p, q, f.centre, f.e1, f.e2, f.axis, turn);
}

} // namespace korva3_planner
