// gcode_plot_track.cpp - a program's lines and size for the plot of its run.
#include "gcode/gcode_plot_track.h"

#include <algorithm>
#include <map>
#include <utility>

namespace korva3_tool {

using namespace korva3_gcode;

std::shared_ptr<GcodeTrack> gcode_track(const Program &p, const Settings &s)
{
    std::map<int, GcodeLine> lines;
    double span = 0; // mm: the program's largest extent on an axis
    for (const Move &m : p.moves)
        if (m.op == Op::Line || m.op == Op::Arc || m.op == Op::Circle)
            lines[m.line] = {m.rapid, m.feed_mm_min};
    for (int a = 0; a < 3; a++)
        span = std::max(span, p.extent.high[a] - p.extent.low[a]);
    return std::make_shared<GcodeTrack>(s.scale, std::move(lines), span);
}

} // namespace korva3_tool
