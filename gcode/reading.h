// reading.h - what a reading of a program is told (ReadOptions: its bounds, how M1 and
// "/" lines are taken) and what it tells of the program without its moves
// (ProgramSummary): the types the reader, the streamed reading and read_program share.
#ifndef KORVA3_GCODE_READING_H
#define KORVA3_GCODE_READING_H

#include <cstdint>
#include <set>
#include <string>

#include "gcode/move.h"

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

} // namespace korva3_gcode

#endif
