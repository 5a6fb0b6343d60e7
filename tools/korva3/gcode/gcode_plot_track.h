// gcode_plot_track.h - what a G-code run's plot draws beside the card's path: each
// program line rapid or cut, with its feed, and the program's size.
#ifndef KORVA3_TOOL_GCODE_PLOT_TRACK_H
#define KORVA3_TOOL_GCODE_PLOT_TRACK_H

#include <memory>

#include "gcode/program.h"
#include "gcode/settings.h"
#include "record/gcode_track.h"

namespace korva3_tool {

// The track a run of `program` records for its plot (the tool runs at 100 % override).
std::shared_ptr<GcodeTrack> gcode_track(const korva3_gcode::Program &program,
                                        const korva3_gcode::Settings &settings);

} // namespace korva3_tool

#endif
