// gcode_plot_track.cpp - the plot's record of a G-code run.
#include "gcode/gcode_plot_track.h"

#include <algorithm>

namespace korva3_tool {

std::shared_ptr<GcodeTrack> gcode_track(const korva3_control::ProgramCheck &c,
                                        const korva3_gcode::Settings &s)
{
    double span = 0; // mm: the program's largest extent on an axis
    for (int a = 0; a < 3; a++)
        span = std::max(span, c.extent.high[a] - c.extent.low[a]);
    return std::make_shared<GcodeTrack>(s.scale, span);
}

} // namespace korva3_tool
