// gcode_plot.h - the picture of a G-code run, in the program's millimetres: the path in
// the XY plane (equal scale) and, when Z moved, the XZ and YZ side views (each axis
// scaled to its data, so a plunge of a millimetre shows beside a path of a metre); cuts
// drawn solid, rapids (G0) dashed; below, the path speed in mm/min against time with the
// programmed feed (times the override) beside it.
//
// Plain SVG 1.1: polylines of class "cut" or "rapid" (data-view "xy", "xz", "yz"),
// "path-speed" and "feed". Memory and size stay bounded however many moves the program
// has (the track keeps a bounded number of points and time bins).
#ifndef KORVA3_TOOL_GCODE_PLOT_H
#define KORVA3_TOOL_GCODE_PLOT_H

#include <string>

#include "record/recording.h"

namespace korva3_tool {

// The SVG document of a recording whose gcode track is set.
std::string gcode_plot(const Recording &recording);

} // namespace korva3_tool

#endif
