// speed_programs.h - programs of the kinds whose time on the machine depends on how the
// planner takes curves and kinks: engraving strokes of arcs, a 3D relief of short lines,
// a sine of 0.05 mm lines, lines and arcs meeting at 90 and 45 degrees, nested squares
// and a raster. Each is written at a feed (mm/min) and a G64 P tolerance (mm), the same
// text every time (fixed seeds).
#ifndef KORVA3_BENCH_SPEED_PROGRAMS_H
#define KORVA3_BENCH_SPEED_PROGRAMS_H

#include <string>
#include <vector>

namespace speed_programs {

struct Program {
    std::string name;
    std::string text; // G-code, mm
};

// Every kind at `feed_mm_min` and `tolerance_mm`.
std::vector<Program> all(double feed_mm_min, double tolerance_mm);

} // namespace speed_programs

#endif
