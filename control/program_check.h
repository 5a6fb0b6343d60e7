// program_check.h - the first of a program's two passes: the whole file read in bounded
// memory, every line checked, and its path planned as the run will plan it, so that a
// program with any error runs nothing, and the estimate, the progress of each line and
// the outline a front end draws all come from this one pass (the run reads the file
// again and streams it).
#ifndef KORVA3_CONTROL_PROGRAM_CHECK_H
#define KORVA3_CONTROL_PROGRAM_CHECK_H

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "control/outline.h"
#include "control/progress_table.h"
#include "gcode/parameters.h"
#include "gcode/program.h"
#include "gcode/settings.h"
#include "gcode/state.h"

namespace korva3_control {

struct LineNote {
    int line = 0;
    std::string text;
};

struct ProgramCheck {
    std::string path;                  // the file as given
    std::string name;                  // as messages name it
    uint64_t file_bytes = 0;           // the file as checked: a run refuses a changed one
    int64_t file_time = 0;             // its modification time, s
    bool accepted = false;             // no errors: it may run
    std::vector<std::string> errors;   // "NAME:LINE: ..." as the reader lists them
    int lines = 0;                     // lines in the file
    std::size_t moves = 0;             // every move (outputs and the end included)
    // What the card gets, counted, and how far the tool travels.
    std::size_t line_moves = 0, arcs = 0, circles = 0, dwells = 0, pauses = 0;
    double feed_mm = 0, rapid_mm = 0;  // path length at feed and at rapid
    korva3_gcode::MmPoint end{};       // where it ends, machine mm
    korva3_gcode::Extent extent;       // machine mm
    double dwell_ms = 0;
    std::set<std::string> coords_used;
    std::set<int> tools_used;
    double planned_ms = 0;             // the run's time at 100 %: slices and dwells
    uint64_t slices = 0;
    // The pauses and "(MSG, ...)" texts, each in the order reached; at most kMaxNotes
    // of each are kept, the rest counted.
    static constexpr std::size_t kMaxNotes = 1000;
    std::vector<LineNote> pause_notes, messages;
    std::size_t notes_left_out = 0;
    ProgressTable progress;            // the plan's time along the reader's steps
    Outline outline;                   // the path, for a picture
};

// Reads and plans the program in `path` from the session's state `start` and
// `parameters` (its position, offsets, modal state; copies: the session is left as it
// is), in bounded memory, without moving anything. `name`: how messages name the file.
ProgramCheck check_program(const std::string &path, const std::string &name,
                           const korva3_gcode::Settings &settings, korva3_gcode::State start,
                           korva3_gcode::Parameters parameters,
                           const korva3_gcode::ReadOptions &options);

} // namespace korva3_control

#endif
