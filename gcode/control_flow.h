// control_flow.h - O-word subroutines and loops: a program's lines followed in the
// order its O-words say, each line then read by the Reader.
//
//   o100 sub ... o100 endsub [value]     a subroutine (also o<name>); defined at the
//                                        top level, skipped where it stands
//   o100 call [a] [b] ...                calls it: #1, #2 ... are the arguments (at most
//                                        30), its #1 .. #30 and #<names> its own
//   o100 return [value]                  leaves it; a value goes to #<_value> and
//                                        #<_value_returned> is 1 (each call clears
//                                        both to 0 first); return may also name a block
//                                        open in the sub (o101 if ... o101 return)
//   o101 if [c] / elseif [c] / else / endif
//   o102 while [c] ... o102 endwhile
//   o103 do ... o103 while [c]           the body runs at least once
//   o104 repeat [n] ... o104 endrepeat   n times (a whole number, 0 or more)
//   o102 break, o102 continue            inside loop o102 (also from a loop inside it)
//
// First the whole source is read from its start for its O-words (o_words.h): every one must match (an
// endsub without its sub, an if without its endif, a call of a sub the file does not
// hold, a break outside its loop, a sub inside another's body ...), else each mismatch
// is an error at its line and no line is followed. Then the lines are followed from
// the source's start: read on one after another, and a jump goes to an O-word's place
// in the source (a call comes back to the place after it). Loop iterations and calls
// together are bounded (ReadOptions::max_iterations), as is how deep calls nest
// (max_call_depth), the lines read again (max_reads), the expression steps and the
// moves, so no program can keep the check from ending. An error in a condition or a
// count ends the following there; an error in another line is reported and the lines
// go on.
#ifndef KORVA3_GCODE_CONTROL_FLOW_H
#define KORVA3_GCODE_CONTROL_FLOW_H

#include <string>
#include <vector>

#include "gcode/expression.h"
#include "gcode/line_source.h"
#include "gcode/reader.h"

namespace korva3_gcode {

// Reads `source` into `reader`, following its O-words, with `values` reading the lines'
// parameters and expressions; `sink` hears of each line before it is read, and
// `line` holds the line being read (for an error that ends the reading from outside).
// Returns the number of lines in the source.
//
// A call of o<name> that the source holds no sub for finds NAME.ngc (lower case) in
// `folders`, the first that holds it: a file of its own holding o<name> sub ...
// o<name> endsub, opened and indexed once per reading (at most 100 such files), with
// the program's O-words, before any line is followed; its errors name it
// ("bolt.ngc:3: ..."). A name found in no folder is an error of each line calling it.
int follow_program(LineSource &source, Reader &reader, Expressions &values,
                   const ReadOptions &options, MoveSink &sink, ProgramSummary &summary,
                   int &line, const std::vector<std::string> &folders = {});

} // namespace korva3_gcode

#endif
