// move_sink.h - where the reader's moves go, one at a time, as it reaches them: a
// controller streaming them to the card, a check counting them, or read_program
// collecting them (program.h). Nothing is kept for the sink: a program of any length
// is read in bounded memory.
#ifndef KORVA3_GCODE_MOVE_SINK_H
#define KORVA3_GCODE_MOVE_SINK_H

#include <cstdint>
#include <string>

#include "gcode/move.h"

namespace korva3_gcode {

class MoveSink {
public:
    virtual ~MoveSink() = default;

    // Before each line the program reaches is read (O-word lines too): `number` is its
    // line in the file, from 1; `sequence` how many lines were reached before it, in
    // the order the program follows them (loops and calls included), so two readings
    // of one file give each line the same sequence. False: the reading ends here
    // (the consumer stopped; no error).
    virtual bool line(int number, uint64_t sequence)
    {
        (void)number;
        (void)sequence;
        return true;
    }

    // Each move, in order. False: the reading ends here.
    virtual bool move(const Move &move) = 0;

    // A "(MSG, text)" comment, when its line is reached (once per line, also in a loop).
    virtual void message(int line, const std::string &text)
    {
        (void)line;
        (void)text;
    }
};

} // namespace korva3_gcode

#endif
