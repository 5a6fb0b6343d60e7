// gcode_reader_fuzz.cpp - libFuzzer target: arbitrary text as a G-code program, through
// the reader of `korva3 gcode` (words, modal groups, arcs, moves in machine mm, parameters,
// expressions and O-word subroutines and loops, bounded to 1000 iterations and calls,
// 100000 lines read again and 100000 moves here so that each input is quick).
// Invariants: a program is either read without errors or refused with errors that each
// name the file and a line, and then plans no move; every move names a line of the
// text and ends within the card's reach once rounded to pulses; every arc turns by a
// finite angle, more than nothing and at most a whole turn, round a finite centre.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "gcode/program.h"
#include "gcode/settings.h"

using namespace korva3_gcode;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    Settings settings;
    Program program;
    std::vector<std::string> errors;
    ReadOptions options;
    options.max_iterations = 1000;
    options.max_reads = 100000;
    options.max_moves = 100000;
    const bool ok = read_program("fuzz.ngc", text, settings, program, errors, options);
    if (ok != errors.empty())
        std::abort();
    for (const std::string &e : errors)
        if (e.rfind("fuzz.ngc:", 0) != 0)
            std::abort();
    if (!ok) {
        if (!program.moves.empty())
            std::abort();
        return 0;
    }
    size_t lines = 1;
    for (char c : text)
        lines += c == '\n';
    for (const Move &m : program.moves) {
        if (m.line < 0 || static_cast<size_t>(m.line) > lines)
            std::abort();
        for (int64_t p : korva3_planner::to_pulses(m.end, settings.scale))
            if (p < -2147483647 || p > 2147483647)
                std::abort();
        if (m.op == Op::Arc || m.op == Op::Circle) {
            double turn = std::fabs(m.turn);
            if (!(turn > 0 && turn <= 6.2831853072) || !std::isfinite(m.centre[m.u]) ||
                !std::isfinite(m.centre[m.v]) || !std::isfinite(m.feed_mm_min))
                std::abort();
        }
    }
    return 0;
}
