// jog_command.cpp - a "$J=" line into a target in machine mm.
#include "grbl/jog_command.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "grbl/grbl_codes.h"

namespace korva3_grbl {

int read_jog(const std::string &words, const JogFrom &from, JogTarget &target)
{
    bool inches = from.inches, relative = from.relative, machine = false;
    bool given[3] = {false, false, false}, have_feed = false, any_axis = false;
    double value[3] = {0, 0, 0}, feed = 0;
    std::size_t i = 0;
    while (i < words.size()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(words[i])));
        if (std::isspace(static_cast<unsigned char>(c))) {
            i++;
            continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(c)))
            return kExpectedCommandLetter;
        const char *start = words.c_str() + i + 1;
        char *end = nullptr;
        const double v = std::strtod(start, &end);
        if (end == start || !std::isfinite(v))
            return kBadNumberFormat;
        i = static_cast<std::size_t>(end - words.c_str());
        if (c == 'G') {
            const int g = static_cast<int>(std::lround(v * 10));
            if (g == 200 || g == 210)
                inches = g == 200;
            else if (g == 900 || g == 910)
                relative = g == 910;
            else if (g == 530)
                machine = true;
            else
                return kInvalidJogCommand;
        } else if (c == 'F') {
            if (have_feed)
                return kWordRepeated;
            have_feed = true;
            feed = v;
        } else if (c >= 'X' && c <= 'Z') {
            const int a = c - 'X';
            if (given[a])
                return kWordRepeated;
            given[a] = any_axis = true;
            value[a] = v;
        } else {
            return kInvalidJogCommand;
        }
    }
    if (!have_feed || feed <= 0)
        return kUndefinedFeedRate;
    if (!any_axis)
        return kNoAxisWords;
    const double unit = inches ? 25.4 : 1; // mm per program unit
    for (int a = 0; a < 3; a++) {
        double &t = target.machine_mm[a];
        t = from.machine_mm[a];
        if (!given[a])
            continue;
        if (machine)
            t = value[a] * unit;
        else if (relative)
            t += value[a] * unit;
        else
            t = value[a] * unit + from.offset_mm[a];
    }
    target.feed_mm_min = feed * unit;
    return 0;
}

} // namespace korva3_grbl
