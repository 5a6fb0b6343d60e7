// soak_paths.h - the paths a soak runs: rounds of lines, arcs, circles and 3-axis lines,
// blocking and stepwise, each with the move it must make exactly.
#ifndef KORVA_SOAK_PATHS_H
#define KORVA_SOAK_PATHS_H

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace soak {

struct Path {
    enum Kind { Line, Xyz, Circle, Arc, StepLine, StepCircle, StepArc } kind;
    std::int32_t a = 0, b = 0, c = 0; // Line/Xyz: du, dv(, dw); Circle: centre u, v;
                                      // Arc: end u, v, radius (pulses)
    std::uint32_t direction = 0;      // circles and arcs: 0 clockwise, 1 counter-clockwise
    std::uint32_t speed = 1;          // pulses per slice
    std::array<std::int32_t, 3> move{}; // X, Y, Z: where the path ends, from its start

    std::string describe() const;
    // Slices the path takes at least (its length over its speed): 1 ms each at 1 ms.
    std::uint64_t min_slices() const;
};

// The speed parameters of a round (KORVA3_SET_VAR).
struct RoundSettings {
    std::uint32_t accel = 10, start_speed = 10, high_speed = 400;
};

// One round: a line away, an arc, a circle, a 3-axis line, stepwise forms of each, and a
// line back to where the round began. `longer`: paths of seconds to minutes (the soak's
// long mode); otherwise of tens of milliseconds. Every `reported_every`-th round (0:
// never) begins with the long slow line that once ended short: 120000 pulses along X
// at 1 pulse per slice.
std::vector<Path> make_round(std::mt19937& rng, bool longer, std::uint64_t round,
                             std::uint64_t reported_every, RoundSettings& settings);

} // namespace soak

#endif
