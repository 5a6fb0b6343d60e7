// profile.h - how many slices the card takes for a path: the library's trapezoid
// (ramp up by accel per slice to the cap, ramp down to arrive; a path shorter than
// 4 x start_speed runs at start_speed), counted slice by slice.
//
//   step
//   cap  |      ______________
//        |     /              \  .     (accel per slice up; down by step^2 / 2 remaining)
//        |    /                \ .
//        |___/__________________\.__ slices
#ifndef KORVA3_GCODE_PROFILE_H
#define KORVA3_GCODE_PROFILE_H

#include <cstdint>

namespace korva3_gcode {

// The library's cap on a path's speed, pulses of path per slice.
constexpr uint32_t kMostSpeed = 2040;

// Slices of a path of `length` pulses at the cap `speed` (pulses of path per slice,
// 1..kMostSpeed) under the ramps accel and start_speed. A path of length 0 takes one slice.
uint64_t profile_slices(uint64_t length, uint32_t speed, uint32_t accel, uint32_t start_speed);

} // namespace korva3_gcode

#endif
