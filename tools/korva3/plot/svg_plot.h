// svg_plot.h - the picture of a run: the path each card executed (XY view, plus XZ
// and YZ views when Z moved) and, below, the speed profile (each axis's speed against
// virtual time, with marks where a job line's motion began).
//
// Plain SVG 1.1 that every viewer draws alike (browsers, librsvg, converters): paths are
// polylines in page coordinates with a fixed stroke width (class "path", data-view "xy",
// "xz" or "yz", data-card the virtual card, data-start and data-end the first and last
// positions in pulses), thinned to the picture's resolution, so a plot stays well under
// a megabyte however long the job. Speeds: class "speed", data-card, data-axis.
#ifndef KORVA3_TOOL_SVG_PLOT_H
#define KORVA3_TOOL_SVG_PLOT_H

#include <string>

#include "record/recording.h"

namespace korva3_tool {

// The SVG document, UTF-8.
std::string svg_plot(const Recording &recording);

} // namespace korva3_tool

#endif
