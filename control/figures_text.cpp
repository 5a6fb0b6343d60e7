// figures_text.cpp - durations and lengths in words.
#include "control/figures_text.h"

#include <cmath>
#include <cstdio>

#include "gcode/modal.h"

namespace korva3_control {

std::string mm_text(double v) { return korva3_gcode::number_text(v, 3); }

std::string duration_text(double ms)
{
    char buf[64];
    double s = ms / 1000;
    if (s < 60)
        std::snprintf(buf, sizeof buf, "%.1f s", s);
    else if (s < 360000)
        std::snprintf(buf, sizeof buf, "%d min %.1f s", static_cast<int>(s / 60),
                      s - 60 * std::floor(s / 60));
    else // beyond 100 hours: a program that will not end in a working day
        std::snprintf(buf, sizeof buf, "%.4g hours", s / 3600);
    return buf;
}

} // namespace korva3_control
