// settings.cpp - the scale option and the ranges of the machine settings.
#include "gcode/settings.h"

#include <cstdlib>
#include <sstream>

namespace korva3_gcode {

bool parse_scale(const std::string &text, Settings &settings, std::string &error)
{
    error = "--scale: X=..,Y=..,Z=.. (pulses per mm, any of the three) or one number, not '" +
            text + "'";
    auto number = [](const std::string &s, double &v) {
        char *end = nullptr;
        v = std::strtod(s.c_str(), &end);
        return !s.empty() && *end == '\0' && v > 0 && v <= 1e6;
    };
    double all;
    if (number(text, all)) {
        settings.scale = {all, all, all};
        return true;
    }
    if (text.empty())
        return false;
    Settings out = settings;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        double v;
        if (part.size() < 3 || part[1] != '=' || !number(part.substr(2), v))
            return false;
        switch (part[0]) {
        case 'X': case 'x': out.scale[0] = v; break;
        case 'Y': case 'y': out.scale[1] = v; break;
        case 'Z': case 'z': out.scale[2] = v; break;
        default: return false;
        }
    }
    settings = out;
    return true;
}

bool check_settings(const Settings &s, std::string &error)
{
    for (int a = 0; a < 3; a++)
        if (!(s.scale[a] > 0 && s.scale[a] <= 1e6)) {
            error = std::string("scale of ") + "XYZ"[a] + ": above 0 and at most 1000000 pulses per mm";
            return false;
        }
    const struct {
        bool ok;
        const char *what;
    } checks[] = {
        {s.slice_us >= 1 && s.slice_us <= 1000000, "slice_us: 1..1000000 microseconds"},
        {s.rapid > 0, "rapid: above 0 mm/min"},
        {s.accel >= 1 && s.accel <= 250, "accel: 1..250"},
        {s.start_speed >= 1 && s.start_speed <= 500, "start_speed: 1..500"},
        {s.card_var >= 1 && s.card_var <= 254, "card_var: 1..254"},
        {s.arc_tolerance > 0, "arc_tolerance: above 0 mm"},
        {s.outputs.spindle >= -1 && s.outputs.spindle <= 6, "outputs.spindle: -1..6"},
        {s.outputs.mist >= -1 && s.outputs.mist <= 6, "outputs.mist: -1..6"},
        {s.outputs.flood >= -1 && s.outputs.flood <= 6, "outputs.flood: -1..6"},
    };
    for (const auto &c : checks)
        if (!c.ok) {
            error = c.what;
            return false;
        }
    return true;
}

} // namespace korva3_gcode
