// arc_fit.cpp - fitting library arcs to a program's arc.
#include "gcode/arc_fit.h"

#include <cmath>

namespace korva3_gcode {

namespace {

constexpr double kLibraryTwoPi = 6.283185308; // a turn as the library reckons it
constexpr double kMostDeviation = 0.5; // pulses
constexpr int kMostHalvings = 12;

// The centre the library gives an arc from `start` by `piece`: on the perpendicular
// bisector of the chord, on its right-hand side (seen from start towards the end, u to
// the right and v up) for a positive radius clockwise or a negative one
// counter-clockwise, else on its left.
PlanePoint library_centre(PlanePoint start, const ArcPiece &p)
{
    double cu = p.end_u, cv = p.end_v;
    double chord = std::sqrt(cu * cu + cv * cv);
    double r = std::fabs(static_cast<double>(p.radius));
    double h = 0.5 * chord;
    double d = r > h ? std::sqrt(r * r - h * h) : 0.0;
    bool right = (p.radius > 0) == (p.direction == 0);
    double nu = cv / chord, nv = -cu / chord; // unit normal to the right of the chord
    double s = right ? d : -d;
    return {start.u + 0.5 * cu + s * nu, start.v + 0.5 * cv + s * nv};
}

void fit(PlanePoint start, PlanePoint end, PlanePoint centre, double radius, double a0,
         double turn, int depth, std::vector<ArcPiece> &out)
{
    int64_t du = std::llround(end.u - start.u), dv = std::llround(end.v - start.v);
    bool whole_turn = du == 0 && dv == 0 && std::fabs(turn) > kPi;
    if (du == 0 && dv == 0 && !whole_turn)
        return; // less than a pulse of chord: nothing to run
    double a1 = a0 + turn;
    // The chord's half length as the library computes it; a radius below it is refused.
    double half = 0.5 * std::sqrt(static_cast<double>(du * du + dv * dv));
    double candidates[] = {std::floor(radius), std::ceil(radius), std::ceil(half),
                           std::ceil(half) + 1};
    ArcPiece best{static_cast<int32_t>(du), static_cast<int32_t>(dv), 0,
                  turn > 0 ? 1u : 0u, std::fabs(turn)};
    double best_dev = INFINITY;
    for (double r : candidates) {
        if (r < half || r < 1 || r > INT32_MAX)
            continue;
        ArcPiece p = best;
        p.radius = static_cast<int32_t>(std::fabs(turn) > kPi ? -r : r);
        double dev = arc_deviation(start, p, centre, radius, a0, a1);
        if (dev < best_dev) {
            best_dev = dev;
            best = p;
        }
    }
    if (whole_turn || (best_dev > kMostDeviation && depth < kMostHalvings)) {
        double mid_angle = a0 + 0.5 * turn;
        PlanePoint mid{std::round(centre.u + radius * std::cos(mid_angle)),
                       std::round(centre.v + radius * std::sin(mid_angle))};
        fit(start, mid, centre, radius, a0, 0.5 * turn, depth + 1, out);
        fit(mid, end, centre, radius, mid_angle, 0.5 * turn, depth + 1, out);
        return;
    }
    out.push_back(best);
}

} // namespace

double arc_deviation(PlanePoint start, const ArcPiece &piece, PlanePoint centre, double radius,
                     double a0, double a1)
{
    PlanePoint c = library_centre(start, piece);
    double r = std::fabs(static_cast<double>(piece.radius));
    double most = 0;
    for (int k = 0; k <= 16; k++) {
        double a = a0 + (a1 - a0) * k / 16.0;
        double pu = centre.u + radius * std::cos(a), pv = centre.v + radius * std::sin(a);
        most = std::fmax(most, std::fabs(std::hypot(pu - c.u, pv - c.v) - r));
    }
    return most;
}

double library_length(const ArcPiece &p)
{
    double r = std::fabs(static_cast<double>(p.radius));
    double central = 2 * std::asin(std::fmin(1.0, 0.5 * std::hypot(p.end_u, p.end_v) / r));
    return (p.radius > 0 ? central : kLibraryTwoPi - central) * r;
}

double library_circle_length(int32_t centre_u, int32_t centre_v)
{
    return std::hypot(centre_u, centre_v) * kLibraryTwoPi;
}

bool fit_circle(PlanePoint start, PlanePoint centre, double radius, int32_t &centre_u,
                int32_t &centre_v)
{
    double best = INFINITY;
    for (double u : {std::floor(centre.u - start.u), std::ceil(centre.u - start.u)})
        for (double v : {std::floor(centre.v - start.v), std::ceil(centre.v - start.v)}) {
            double dev = std::hypot(start.u + u - centre.u, start.v + v - centre.v) +
                         std::fabs(std::hypot(u, v) - radius);
            if (dev < best && (u != 0 || v != 0)) {
                best = dev;
                centre_u = static_cast<int32_t>(u);
                centre_v = static_cast<int32_t>(v);
            }
        }
    return best <= kMostDeviation;
}

std::vector<ArcPiece> fit_arc(PlanePoint start, PlanePoint end, PlanePoint centre, double radius,
                              double start_angle, double turn)
{
    std::vector<ArcPiece> out;
    fit(start, end, centre, radius, start_angle, turn, 0, out);
    return out;
}

} // namespace korva3_gcode
