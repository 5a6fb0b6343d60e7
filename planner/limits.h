// limits.h - what the machine allows each axis, and the slice period the planner samples
// its path at.
#ifndef KORVA3_PLANNER_LIMITS_H
#define KORVA3_PLANNER_LIMITS_H

#include <array>
#include <cstdint>

namespace korva3_planner {

using Vec3 = std::array<double, 3>;     // X, Y, Z
using Pulses = std::array<int64_t, 3>;  // X, Y, Z in pulses

// The most pulses one slice carries on an axis: the library's cap on its own paths
// (the card takes 2047). The planner keeps one pulse under it for rounding.
constexpr int32_t kMostSlicePulses = 2040;

struct Limits {
    Vec3 scale{{1000, 1000, 1000}};    // pulses per mm
    Vec3 velocity{{6000, 6000, 6000}}; // most speed of each axis, mm/min
    Vec3 accel{{500, 500, 500}};       // most acceleration of each axis, mm/s^2
    uint32_t slice_us = 1000;          // the card's slice period, microseconds
    double tolerance = 0.01;           // mm the path may leave the program's (G64 without P)
};

// The slice period in seconds.
inline double slice_s(const Limits &l) { return l.slice_us * 1e-6; }

// Most speed of axis `a`, mm/s: its velocity limit, and never more than
// kMostSlicePulses - 1 pulses per slice.
double axis_speed(const Limits &l, int a);

} // namespace korva3_planner

#endif
