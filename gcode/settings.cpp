// settings.cpp - the scale option and the ranges of the machine settings.
#include "gcode/settings.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "gcode/modal.h"

namespace korva3_gcode {

std::string range_text(const std::string &key, const SettingRange &r)
{
    char text[96];
    std::snprintf(text, sizeof text, "%.15g..%.15g ", r.low, r.high);
    return key + ": " + text + r.unit;
}

bool parse_scale(const std::string &text, Settings &settings, std::string &error)
{
    error = "--scale: X=..,Y=..,Z=.. (" + range_text("pulses per mm", kScaleRange).substr(15) +
            ", any of the three) or one number, not '" + text + "'";
    auto number = [](const std::string &s, double &v) {
        char *end = nullptr;
        v = std::strtod(s.c_str(), &end);
        return !s.empty() && *end == '\0' && in_range(v, kScaleRange);
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
    const char *axes[] = {"x", "y", "z"};
    for (int a = 0; a < 3; a++) {
        const struct {
            double v;
            std::string key;
            const SettingRange &range;
        } per_axis[] = {{s.scale[a], std::string("scale.") + axes[a], kScaleRange},
                        {s.max_velocity[a], std::string("max_velocity.") + axes[a], kVelocityRange},
                        {s.max_accel[a], std::string("max_accel.") + axes[a], kAccelRange}};
        for (const auto &c : per_axis)
            if (!in_range(c.v, c.range)) {
                error = range_text(c.key, c.range);
                return false;
            }
    }
    const struct {
        bool ok;
        std::string what;
    } checks[] = {
        {s.slice_us >= 1 && s.slice_us <= 1000000, "slice_us: 1..1000000 microseconds"},
        {in_range(s.rapid, kVelocityRange), range_text("rapid", kVelocityRange)},
        {in_range(s.path_tolerance, kToleranceRange), range_text("path_tolerance", kToleranceRange)},
        {s.arc_tolerance == 0 || in_range(s.arc_tolerance, kToleranceRange), range_text("arc_tolerance", kToleranceRange)},
        {s.accel >= 1 && s.accel <= 250, "accel: 1..250"},
        {s.start_speed >= 1 && s.start_speed <= 500, "start_speed: 1..500"},
        {s.card_var >= 1 && s.card_var <= 254, "card_var: 1..254"},
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
