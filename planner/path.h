// path.h - what the planner is given: the program's moves in machine millimetres, in
// order (all at once, or one at a time as they are read), each from where the one
// before it ended (the first from 0, 0, 0), and the points where the machine must stand
// still. Speeds are mm/s; the planner rounds each move's end to pulses itself
// (to_pulses with the limits' scale).
#ifndef KORVA3_PLANNER_PATH_H
#define KORVA3_PLANNER_PATH_H

#include <cstdint>
#include <vector>

#include "planner/limits.h"

namespace korva3_planner {

enum class Kind {
    Line, // straight to `end`
    Arc,  // round `centre` in the plane (u, v) by `turn`, to `end`; the third axis moves
          // evenly with the angle (a helix); a radius that differs at the ends is
          // followed as a spiral
    Stop  // the machine stands here: the caller's `action` happens (dwell, outputs, ...)
};

struct PathMove {
    Kind kind = Kind::Line;
    int line = 0;           // program line this move comes from
    MmPoint end{};          // mm, machine coordinates (Stop: unused)
    double feed_mm_s = 0;   // speed along the path, mm/s (rapids: the rapid speed)
    bool rapid = false;     // G0: the feed override does not apply
    bool exact_stop = false; // G61: the machine stands at the end of this move
    double tolerance = -1;  // mm the path may deviate at its end (G64 P); < 0: the limits'
    int u = 0, v = 1;       // Arc: the plane's axes (0 = X, 1 = Y, 2 = Z), G17 (0, 1),
                            // G18 (2, 0), G19 (1, 2)
    MmPoint centre{};       // Arc: mm; its component across the plane is not used
    double turn = 0;        // Arc: radians, positive = counter-clockwise in (u, v)
    uint32_t action = 0;    // Stop: the caller's number for what happens there
    uint64_t step = 0;      // the caller's tag (the reader's sequence number of the move's
                            // line), carried to every slice made on this move
};

} // namespace korva3_planner

#endif
