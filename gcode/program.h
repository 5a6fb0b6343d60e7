// program.h - a G-code program read and turned into moves in machine millimetres.
//
// Every line is checked (words, modal groups, arcs that fit, moves the card can make)
// and becomes moves (move.h) that path_moves hands to the planner. read_program reads
// a whole program into a list of moves, and keeps none unless all are good; a
// controller reads a program line by line into a MoveSink instead, in bounded memory,
// from a session's state (stream.h).
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
#include <string>
#include <vector>

#include "gcode/line_source.h"
#include "gcode/move.h"
#include "gcode/reading.h"
#include "gcode/settings.h"

namespace korva3_gcode {

struct Program : ProgramSummary {
    std::vector<Move> moves;
    struct Message {
        int line;
        std::string text;
    };
    std::vector<Message> messages;     // "(MSG, text)" comments, shown when reached
};

// The moves read_program holds at most: a bound of its memory (about 1.4 GB).
constexpr int64_t kMaxKeptMoves = 10000000;

// Reads a whole program. Returns true when every line is good; otherwise false, with
// the messages in errors ("NAME:LINE: ..." per fault, at most max_errors of them, then
// "NAME: ... and N more errors" and hints "NAME: ..." on the kind of file), and no
// moves. A word that is refused does not end its line: the line's other words are
// still read and checked, and its target still counts for the lines after it. The
// program starts from initial_state(settings) and fresh parameters. A program of more
// than kMaxKeptMoves moves is refused: read it through a sink (stream.h).
bool read_program(const std::string &name, const std::string &text, const Settings &settings,
                  Program &program, std::vector<std::string> &errors,
                  const ReadOptions &options = ReadOptions{});

// The same, from a source (a file read through its buffer).
bool read_program(const std::string &name, LineSource &source, const Settings &settings,
                  Program &program, std::vector<std::string> &errors,
                  const ReadOptions &options = ReadOptions{});

} // namespace korva3_gcode

#endif
