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
#include <set>
#include <string>
#include <vector>

#include "gcode/line_source.h"
#include "gcode/move.h"
#include "gcode/settings.h"

namespace korva3_gcode {

// What a reading tells of its program, without its moves: bounded, whatever its length.
struct ProgramSummary {
    std::string name;
    MmPoint end{};                     // where the program ends, machine mm (the card ends
                                       // on its pulses: to_pulses with the scale)
    Extent extent;                     // of its path and where it starts
    double dwell_ms = 0;               // all dwells
    int lines = 0;                     // lines in the file
    uint64_t move_count = 0;           // moves handed on
    uint64_t lines_reached = 0;        // lines read, loops and calls included
    std::set<std::string> coords_used; // work offsets selected ("G54", "G59.1"): at most 9
    std::set<int> tools_used;          // tools changed to by M6: at most the 100000 tools
    bool stopped = false;              // the sink ended the reading
};

struct Program : ProgramSummary {
    std::vector<Move> moves;
    struct Message {
        int line;
        std::string text;
    };
    std::vector<Message> messages;     // "(MSG, text)" comments, shown when reached
};

// How a program is read.
struct ReadOptions {
    int max_errors = 25; // errors listed; the rest are counted ("... and N more errors")
    bool skip_optional_stops = false; // M1 does nothing (else it pauses as M0)
    bool block_delete = true;         // lines that start with "/" are skipped
    long max_iterations = 1000000;    // O-word loop iterations and calls, all together
    int max_call_depth = 64;          // O-word calls nested in each other
    // Bounds of work that loops could otherwise make of a short file, so no program
    // keeps a check busy for more than a few minutes (each takes about 1 minute to
    // reach at the worst; measured on a shared 2.6 GHz Xeon core, docs/gcode.md):
    long max_reads = 100000000;       // lines read again by loops and calls, O-word
                                      // lines too (one more for every 256 bytes)
    int64_t max_expression_steps = 500000000; // operators, signs, functions and
                                              // parameters read or set
    int64_t max_moves = 100000000;    // moves of the program: a check plans each one
                                      // (about 3 us), so 100,000,000 take minutes
                                      // (read_program keeps at most kMaxKeptMoves)
    // A bound of memory: O-words that open, close or leave a block, indexed (32 bytes
    // each) before any line is followed (the program's and its sub files' together).
    int64_t max_o_words = 1000000;
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
