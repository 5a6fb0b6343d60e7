// program.h - a G-code program read and turned into moves in machine millimetres.
//
// The whole program is read first: every line is checked (words, modal groups, arcs
// that fit, moves the card can make) and, only when all are good, becomes a list of
// moves that path_moves hands to the planner. Positions are absolute machine
// millimetres, exactly as the program gives them (inches are millimetres once read);
// feeds are mm/min, as the program writes them. The planner rounds each move's end to
// pulses and sends differences of rounded positions, so thousands of moves never drift
// (planner/geometry.h).
//
// Words read (anything else is an error):
//   G0 G1 G2 G3 (I J K or R; full circles; arcs of any angle; helices), G4 P (seconds),
//   G17 G18 G19, G20 G21, G61 G61.1 G64 (P; Q taken, not used), G90 G91, G92 (X Y Z),
//   G40 G80 G94 (the only modes there are, accepted for CAM headers), G54 .. G59.3,
//   G43 (H) G43.1 (Z) G49 (tool lengths), G73 G81 G82 G83 G85 G89 (canned cycles: R Z Q
//   P L) with G98 G99, F (units per minute), S (taken, not used),
//   T, M6 (a pause), M0 M1 M60 M2 M30, M3 M5 M7 M8 M9 (digital outputs by
//   Settings::outputs), N; parameters and [ ] expressions in any value
//   (expression.h), O-word subroutines and loops (control_flow.h).
#ifndef KORVA3_GCODE_PROGRAM_H
#define KORVA3_GCODE_PROGRAM_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "gcode/settings.h"
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
    int note = -1;         // Pause: its text, an index in Program::notes
    MmPoint centre{};      // Arc, Circle: the program's centre, mm (across the plane: unused)
    double feed_mm_min = 0; // Line, Arc, Circle: the program's feed (G0: rapid), mm/min
    bool rapid = false;    // Line: G0
    bool exact_stop = false; // Line, Arc, Circle: G61 or G61.1, the machine stands at its end
    double tolerance = -1; // Line, Arc, Circle: G64 P, mm; < 0: the machine's path_tolerance
};

struct Extent {
    MmPoint low{}, high{}; // mm, of the program's path (arcs included)
};

struct Program {
    std::string name;
    std::vector<Move> moves;
    MmPoint end{};                     // where the program ends, machine mm (the card ends
                                       // on its pulses: to_pulses with the scale)
    Extent extent;
    double dwell_ms = 0;               // all dwells
    int lines = 0;                     // lines in the file
    std::vector<std::string> notes;    // the pauses' texts ("M0", "M6: tool 3")
    struct Message {
        int line;
        std::string text;
    };
    std::vector<Message> messages;     // "(MSG, text)" comments, shown when reached
    std::set<std::string> coords_used; // work offsets selected ("G54", "G59.1")
    std::set<int> tools_used;          // tools changed to by M6
};

// How a program is read.
struct ReadOptions {
    int max_errors = 25; // errors listed; the rest are counted ("... and N more errors")
    bool skip_optional_stops = false; // M1 does nothing (else it pauses as M0)
    bool block_delete = true;         // lines that start with "/" are skipped
    long max_iterations = 1000000;    // O-word loop iterations and calls, all together
    int max_call_depth = 64;          // O-word calls nested in each other
    // Bounds of time and memory that loops could otherwise pass from a short file:
    long max_reads = 100000000;       // lines read again by loops and calls, all told
    long max_moves = 10000000;        // moves of the program (a 64 MiB file makes fewer)
};

// Reads a whole program. Returns true when every line is good; otherwise false, with
// the messages in errors ("NAME:LINE: ..." per fault, at most max_errors of them, then
// "NAME: ... and N more errors" and hints "NAME: ..." on the kind of file), and no
// moves. A word that is refused does not end its line: the line's other words are
// still read and checked, and its target still counts for the lines after it.
bool read_program(const std::string &name, const std::string &text, const Settings &settings,
                  Program &program, std::vector<std::string> &errors,
                  const ReadOptions &options = ReadOptions{});

} // namespace korva3_gcode

#endif
