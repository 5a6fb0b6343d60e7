// program.h - a G-code program read and turned into the card's moves, in pulses.
//
// The whole program is read first: every line is checked (words, modal groups, arcs
// that fit, moves the card can make) and, only when all are good, becomes a list of
// moves that path_moves hands to the planner. Positions are kept as absolute targets
// in pulses:
// each move goes to the rounded target of its G-code coordinates, and is sent as the
// difference of two rounded targets, so thousands of moves never drift.
//
// Words read (anything else is an error):
//   G0 G1 G2 G3 (I J K or R; full circles; arcs of any angle), G4 P (seconds),
//   G17 G18 G19, G20 G21, G90 G91, G92 (X Y Z), G40 G49 G80 G94 G54 (the only modes
//   there are, accepted for CAM headers), F (units per minute), S (taken, not used),
//   M0 M2 M30, M3 M5 M7 M8 M9 (digital outputs by Settings::outputs), N.
#ifndef KORVA3_GCODE_PROGRAM_H
#define KORVA3_GCODE_PROGRAM_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gcode/settings.h"

namespace korva3_gcode {

using Pulses = std::array<int64_t, 3>; // X, Y, Z in pulses
using Point = std::array<double, 3>;   // X, Y, Z in pulses, not rounded

enum class Op {
    Line,    // straight to `to`: 2-axis in `plane` or 3-axis (plane 0)
    Arc,     // library arc in `plane`: end (u, v) relative, `radius`, `direction`
    Circle,  // library circle in `plane`: centre (u, v) relative, `direction`
    Dwell,   // wait until the card is idle, then `ms`
    Outputs, // wait until the card is idle, then the digital outputs = `outputs`
    Pause,   // M0: wait until the card is idle, then ask to go on
    End      // M2, M30 or the end of the file: wait until idle, outputs off
};

struct Move {
    Op op = Op::Line;
    int line = 0;          // line of the program
    Pulses to{};           // absolute target after this move, pulses
    uint32_t plane = 0;    // 1 = X-Y, 2 = X-Z, 3 = Y-Z (u, v: first and second axis); 0 = XYZ
    int32_t u = 0, v = 0;  // Line: du, dv (plane 0: dx, dy); Arc: end point; Circle:
                           // centre; relative to the start, pulses
    int32_t w = 0;         // Line in plane 0: dz
    int32_t radius = 0;    // Arc: pulses; negative = the arc of more than half a turn
    uint32_t direction = 0; // Arc, Circle: 0 = clockwise in (u, v), 1 = counter-clockwise
    uint32_t ms = 0;       // Dwell: milliseconds
    uint32_t outputs = 0;  // Outputs: the card's output bits 0..6
    // The program's own geometry, in pulses before rounding (for checks and the extent):
    Point ideal_to{};      // where the program says this move ends
    Point centre{};        // Arc, Circle: the program's centre
    double ideal_radius = 0; // Arc, Circle: the program's radius, pulses
    double feed = 0;       // Line, Arc, Circle: the program's feed (G0: rapid), mm/min
    bool rapid = false;    // Line: G0
};

struct Extent {
    Point low{}, high{}; // mm, of the program's path (arcs included)
};

struct Program {
    std::string name;
    std::vector<Move> moves;
    std::vector<std::string> warnings; // "FILE:LINE: ..." (speeds above the card's cap)
    Pulses end{};                      // where the program ends, pulses
    Extent extent;
    double dwell_ms = 0;               // all dwells
    int lines = 0;                     // lines in the file
};

// Reads a whole program. Returns true when every line is good; otherwise false, with
// one message per bad line ("NAME:LINE: ...") in errors, and no moves.
bool read_program(const std::string &name, const std::string &text, const Settings &settings,
                  Program &program, std::vector<std::string> &errors);

} // namespace korva3_gcode

#endif
