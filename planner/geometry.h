// geometry.h - the two kinds of point a program's path is made of, and what the planner,
// the G-code reader and the korva3 tool share about them.
//
// Positions are machine millimetres (MmPoint) from the G-code reader to the planner's
// samples of the ideal path; they become pulses (PulsePoint) in one place only, where the
// slicer rounds a sample to the card's resolution (to_pulses). Every program move ends
// on the rounded pulse target of its end, so thousands of short moves never drift.
#ifndef KORVA3_PLANNER_GEOMETRY_H
#define KORVA3_PLANNER_GEOMETRY_H

#include <array>
#include <cmath>
#include <cstdint>

namespace korva3_planner {

using Vec3 = std::array<double, 3>;          // X, Y, Z: mm, or a direction (no unit)
using MmPoint = Vec3;                        // X, Y, Z in machine mm
using PulsePoint = std::array<int64_t, 3>;   // X, Y, Z in pulses

constexpr double kPi = 3.14159265358979323846;

inline double dot(const Vec3 &a, const Vec3 &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The pulse nearest to `mm` at `scale` pulses per mm, halves away from 0, as a double
// (for checks of the card's reach before any conversion to an integer).
inline double nearest_pulse(double mm, double scale) { return std::round(mm * scale); }

// The pulses nearest to `mm` on each axis at `scale` pulses per mm (within the card's
// reach: a program's targets are checked against it when read).
inline PulsePoint to_pulses(const MmPoint &mm, const Vec3 &scale)
{
    PulsePoint p;
    for (int a = 0; a < 3; a++)
        p[a] = static_cast<int64_t>(nearest_pulse(mm[a], scale[a]));
    return p;
}

} // namespace korva3_planner

#endif
