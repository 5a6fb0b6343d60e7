// path_check.h - a planner's run measured, for the benches: the planner alone on the host
// (time per slice, segments held), the program streamed to the virtual card and what it
// executed checked (the card's time, underruns, limit violations, distance from the
// path), and each move's length over its feed (the time no planner can beat).
#ifndef KORVA3_BENCH_PATH_CHECK_H
#define KORVA3_BENCH_PATH_CHECK_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "planner/slicer.h"

namespace path_check {

namespace kp = korva3_planner;

// Each move's length over its feed, s.
double lower_bound_s(const std::vector<kp::PathMove> &moves);

struct OnCard {
    double s = 0;           // from the first slice to the card at rest, virtual time
    uint64_t underruns = 0;
    uint64_t v_viol = 0, a_viol = 0;
    double farthest = 0;    // mm from the programmed path
};

// The program streamed to a virtual card; what the card executed, checked.
OnCard on_card(const std::vector<kp::PathMove> &moves, const kp::Limits &l);

// The planner alone on `moves`: given at once, or fed one move at a time while it wants
// more (next() between, as a reader's caller does).
struct Host {
    double us_per_slice = 0; // host time, the least of five runs
    uint64_t slices = 0;
    size_t most_held = 0;    // segments at once
};
Host host(const std::vector<kp::PathMove> &moves, const kp::Limits &l, bool fed);

} // namespace path_check

#endif
