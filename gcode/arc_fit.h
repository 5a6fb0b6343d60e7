// arc_fit.h - a program's arc as the card's arcs.
//
// The library runs an arc from its start to an end point given in whole pulses, on a
// circle of a whole-pulse radius whose sign chooses the short or the long way round.
// The program's arc has its centre and radius where the program puts them, so its
// rounded end points and a whole radius may bend it away from the program's circle,
// most of all near half a turn, where the centre moves far for a small change of the
// radius. fit_arc picks the radius that keeps the library's circle closest to the
// program's, and halves the arc until every part stays within half a pulse of it.
#ifndef KORVA3_GCODE_ARC_FIT_H
#define KORVA3_GCODE_ARC_FIT_H

#include <cstdint>
#include <vector>

#include "gcode/arc_geometry.h" // PlanePoint: here u, v in pulses

namespace korva3_gcode {

// One library arc: end point relative to its start (pulses), signed radius (pulses),
// direction (0 = clockwise, 1 = counter-clockwise), and how far it turns (radians).
struct ArcPiece {
    int32_t end_u, end_v;
    int32_t radius;
    uint32_t direction;
    double turn;
};

// The program's arc: from `start` (whole pulses, where the card stands) round `centre`
// by `turn` radians (positive = counter-clockwise) to `end` (whole pulses: the rounded
// end point). `radius` is the program's radius and `start_angle` the angle of its
// unrounded start seen from the centre. The pieces, run one after the other from
// `start`, end exactly at `end`; none is empty.
std::vector<ArcPiece> fit_arc(PlanePoint start, PlanePoint end, PlanePoint centre, double radius,
                              double start_angle, double turn);

// A full turn from `start` (whole pulses) round the program's `centre` of `radius`, as
// the library's circle: the whole-pulse centre, relative to start, that keeps the
// circle closest to the program's. False when none stays within half a pulse of it
// (fit_arc then does the turn in arcs).
bool fit_circle(PlanePoint start, PlanePoint centre, double radius, int32_t &centre_u,
                int32_t &centre_v);

// The path the library runs for `piece`, pulses: its radius times its angle (more than
// half a turn for a negative radius), with the library's own 2 pi (6.283185308).
double library_length(const ArcPiece &piece);

// The path of the library's circle round (centre_u, centre_v) from its start, pulses.
double library_circle_length(int32_t centre_u, int32_t centre_v);

// How far (pulses) the library's arc from `start` by `piece` strays from the circle
// round `centre` of `radius` between the angles a0 and a1: the largest difference of
// radius at 17 points of the program's arc. For tests and fit_arc.
double arc_deviation(PlanePoint start, const ArcPiece &piece, PlanePoint centre, double radius,
                     double a0, double a1);

} // namespace korva3_gcode

#endif
