// limits.h - what the machine allows each axis, and the slice period the planner samples
// its path at.
#ifndef KORVA3_PLANNER_LIMITS_H
#define KORVA3_PLANNER_LIMITS_H

#include <cstdint>

#include "planner/geometry.h"

namespace korva3_planner {

// The maximum of pulses one slice carries on an axis: the library's cap on its own paths
// (the card takes 2047). The planner keeps one pulse under it for rounding.
constexpr int32_t kMaxSlicePulses = 2040;

struct Limits {
    Vec3 scale{{1000, 1000, 1000}};          // pulses per mm
    Vec3 max_speed_mm_s{{100, 100, 100}};    // each axis's highest speed, mm/s
    Vec3 max_accel_mm_s2{{500, 500, 500}};   // each axis's highest acceleration, mm/s^2
    uint32_t slice_us = 1000;                // the card's slice period, microseconds
    double tolerance = 0.01;                 // mm the path may leave the program's (G64 without P)
};

// The slice period in seconds.
inline double slice_s(const Limits &l) { return l.slice_us * 1e-6; }

// The highest speed of axis `a`, mm/s: its speed limit, and never more than
// kMaxSlicePulses - 1 pulses per slice.
double axis_speed(const Limits &l, int a);

} // namespace korva3_planner

#endif
