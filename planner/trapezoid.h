// trapezoid.h - the speed along one segment: from its entry speed to a peak at the
// segment's acceleration, on at the peak, and to its exit speed at the same
// acceleration. Entry above the peak (the feed override lowered, a feed hold)
// decelerates first.
//
//   speed
//   peak  |      ____________
//         |     /            \   .
//   entry |____/              \  .
//         |                    \____ exit
//         +---------------------------- time
//           t1       t2         t3
#ifndef KORVA3_PLANNER_TRAPEZOID_H
#define KORVA3_PLANNER_TRAPEZOID_H

namespace korva3_planner {

struct Trapezoid {
    double length = 0;          // mm of path it covers
    double entry = 0, peak = 0, exit = 0; // mm/s
    double accel = 0;           // mm/s^2
    double t1 = 0, t2 = 0, t3 = 0; // s: to the peak, at it, to the exit
    double d1 = 0, d2 = 0;      // mm covered in the first two phases

    double duration() const { return t1 + t2 + t3; }
    // Path (mm from its start) and speed (mm/s) at time t (s) from its start.
    void at(double t, double &s, double &v) const;
};

// The fastest profile over `length` mm from `entry` to `exit` (both reachable one from
// the other at `accel`) that never passes `max_speed` except to come down from an entry
// above it.
Trapezoid make_trapezoid(double length, double entry, double exit, double max_speed, double accel);

// Coming down from `entry` at `accel` as far as `length` allows, or to rest: `length`
// is then the distance to rest.
Trapezoid make_braking(double length, double entry, double accel);

} // namespace korva3_planner

#endif
