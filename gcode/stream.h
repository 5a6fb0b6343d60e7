// stream.h - a session's programs and MDI lines read line by line into a sink, on the
// state and parameters the session keeps (state.h, parameters.h), in bounded memory.
//
// A controller that owns the machine keeps one State and one Parameters for as long as
// it runs. A program read with read_stream starts from them (the modes, offsets, tool
// and position the last program, MDI line, jog or touch-off left) and leaves them as
// its last line does, as LinuxCNC's task runs its interpreter; read_line reads one
// MDI line the same way. Each line is followed as the program's O-words say and
// checked as read_program checks it (program.h); its moves go to the sink as they are
// made, none is kept. The sink may stop the reading at any line or move.
//
// The errors go to `errors` as the lines are read ("NAME:LINE: ..."), so a consumer
// that runs what it reads (not only checks it) reads the program once first with a
// sink that keeps nothing, and runs it only when that reading had no error. Running
// out of memory is an error of the line being read ("NAME:N: out of memory reading
// line N"), never an abort.
#ifndef KORVA3_GCODE_STREAM_H
#define KORVA3_GCODE_STREAM_H

#include <string>
#include <vector>

#include "gcode/line_source.h"
#include "gcode/move_sink.h"
#include "gcode/parameters.h"
#include "gcode/reading.h"
#include "gcode/state.h"

namespace korva3_gcode {

// Reads the program in `source` (named `name` in errors) into `sink`, from and on
// `state` and `parameters`. True when every line read was good. `summary` tells of
// what was read (summary.stopped: the sink ended it). The end of the file, M2 or M30
// end the program with an End move (outputs of the spindle and coolant off).
bool read_stream(const std::string &name, LineSource &source, const Settings &settings,
                 State &state, Parameters &parameters, MoveSink &sink, ProgramSummary &summary,
                 std::vector<std::string> &errors, const ReadOptions &options = ReadOptions{});

// One MDI line (errors "MDI:1: ..."): its moves to `sink`, its modes, offsets, tools and
// parameters kept in `state` and `parameters`. No End move follows it; M2 or M30 on it
// ends as in a program.
bool read_line(const std::string &text, const Settings &settings, State &state,
               Parameters &parameters, MoveSink &sink, std::vector<std::string> &errors,
               const ReadOptions &options = ReadOptions{});

} // namespace korva3_gcode

#endif
