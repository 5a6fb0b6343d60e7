// jog_words.cpp - a jog's step and an axis's place in words.
#include "run/jog_words.h"

#include <cstdio>

namespace korva3_tool {

namespace {

std::string fixed(double value, int decimals)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

std::string jog_amount(int32_t pulses, double scale)
{
    const std::string sign = pulses < 0 ? "-" : "+";
    const int64_t size = pulses < 0 ? -int64_t(pulses) : pulses;
    if (scale > 0) {
        std::string mm = fixed(size / scale, 3);
        while (mm.back() == '0') // "1.000" -> "1", "0.010" -> "0.01"
            mm.pop_back();
        if (mm.back() == '.')
            mm.pop_back();
        return sign + mm + " mm";
    }
    return sign + std::to_string(size) + (size == 1 ? " pulse" : " pulses");
}

std::string axis_at(char axis, int32_t pulses, double scale)
{
    const std::string at =
        scale > 0 ? fixed(pulses / scale, 3) + " mm" : std::to_string(pulses) + " pulses";
    return std::string(1, axis) + " at " + at;
}

} // namespace korva3_tool
