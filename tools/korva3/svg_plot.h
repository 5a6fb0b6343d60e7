// svg_plot.h - the picture of a run: the path each card executed (XY view, plus XZ
// and YZ views when Z moved) and, below, the speed profile (step length per slice
// against slice number).
//
// Paths are drawn as polylines in pulse units (class "path", data-view "xy", "xz" or
// "yz", data-card the virtual card) under a transform to the page, so the points
// in the file are the card's positions.
#ifndef KORVA3_TOOL_SVG_PLOT_H
#define KORVA3_TOOL_SVG_PLOT_H

#include <string>

#include "recording.h"

namespace korva3_tool {

// The SVG document, UTF-8.
std::string svg_plot(const Recording &recording);

} // namespace korva3_tool

#endif
