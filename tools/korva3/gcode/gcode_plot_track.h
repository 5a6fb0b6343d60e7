// gcode_plot_track.h - the plot's record of a G-code run, sized by the program's extent.
#ifndef KORVA3_TOOL_GCODE_PLOT_TRACK_H
#define KORVA3_TOOL_GCODE_PLOT_TRACK_H

#include <memory>

#include "control/program_check.h"
#include "gcode/settings.h"
#include "record/gcode_track.h"

namespace korva3_tool {

// An empty track at the program's resolution: its largest extent sets it.
std::shared_ptr<GcodeTrack> gcode_track(const korva3_control::ProgramCheck &check,
                                        const korva3_gcode::Settings &settings);

} // namespace korva3_tool

#endif
