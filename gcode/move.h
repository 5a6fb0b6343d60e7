// move.h - what a read program becomes: moves in machine millimetres, one at a time.
//
// Positions are absolute machine millimetres, exactly as the program gives them (inches
// are millimetres once read); feeds are mm/min, as the program writes them. The
// planner rounds each move's end to pulses and sends differences of rounded positions,
// so thousands of moves never drift (planner/geometry.h).
#ifndef KORVA3_GCODE_MOVE_H
#define KORVA3_GCODE_MOVE_H

#include <cstdint>
#include <string>

#include "planner/geometry.h"

namespace korva3_gcode {

using korva3_planner::MmPoint;
using korva3_planner::PulsePoint;

enum class Op {
    Line,    // straight to `end`
    Arc,     // round `centre` in the plane (u, v) by `turn` to `end`; the axis across the
             // plane moves evenly with the angle (a helix)
    Circle,  // an Arc of a whole turn (its end in the plane is its start)
    Dwell,   // the machine stands, then `ms` pass
    Outputs, // the machine stands, then the digital outputs = `outputs`
    Pause,   // M0, M1, M60, M6: the machine stands, shows `note`, then asks to go on
    End      // M2, M30 or the end of the file: the machine stands, outputs off
};

struct Move {
    Op op = Op::Line;
    int line = 0;          // line of the program
    MmPoint end{};         // machine mm where the program says this move ends (the others:
                           // where the machine stands)
    int u = 0, v = 1;      // Arc, Circle: the plane's axes (0 = X, 1 = Y, 2 = Z)
    double turn = 0;       // Arc, Circle: radians, positive = counter-clockwise in (u, v)
    uint32_t ms = 0;       // Dwell: milliseconds
    uint32_t outputs = 0;  // Outputs, End: the card's output bits 0..6
    std::string note;      // Pause: its text ("M0", "M6: tool 3")
    MmPoint centre{};      // Arc, Circle: the program's centre, mm (across the plane: unused)
    double feed_mm_min = 0; // Line, Arc, Circle: the program's feed (G0: rapid), mm/min
    bool rapid = false;    // Line: G0
    bool exact_stop = false; // Line, Arc, Circle: G61 or G61.1, the machine stands at its end
    double tolerance = -1; // Line, Arc, Circle: G64 P, mm; < 0: the machine's path_tolerance
};

struct Extent {
    MmPoint low{}, high{}; // mm, of the program's path (arcs included)
};

} // namespace korva3_gcode

#endif
