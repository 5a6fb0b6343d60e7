// grbl_settings.cpp - the '$$' table from the machine file.
#include "grbl/grbl_settings.h"

#include <cmath>
#include <cstdio>

#include "grbl/grbl_codes.h"

namespace korva3_grbl {

GrblSettings::GrblSettings(const korva3_gcode::Settings &m)
{
    // grbl 1.1's defaults for what the card has no counterpart of.
    machine_ = {{0, 10},  {1, 25},  {2, 0},    {3, 0},   {4, 0},    {5, 0},  {6, 0},
                {10, 1},  {11, 0},  {12, 0.002}, {13, 0}, {20, 0},  {21, 0}, {22, 0},
                {23, 0},  {24, 25}, {25, 500}, {26, 250}, {27, 1},  {30, 1000},
                {31, 0},  {32, 0}};
    machine_[11] = m.path_tolerance;                     // mm: corners and arc chords
    for (int a = 0; a < 3; a++) {
        machine_[100 + a] = m.scale[a];                   // pulses per mm
        machine_[110 + a] = m.max_velocity[a];            // mm/min
        machine_[120 + a] = m.max_accel[a];               // mm/s^2
    }
    values_ = machine_;
}

std::string GrblSettings::report() const
{
    std::string out;
    char text[64];
    for (const auto &[number, value] : values_) {
        if (value == std::floor(value) && std::fabs(value) < 1e9)
            std::snprintf(text, sizeof text, "$%d=%.0f\r\n", number, value);
        else
            std::snprintf(text, sizeof text, "$%d=%.3f\r\n", number, value);
        out += text;
    }
    return out;
}

int GrblSettings::set(int number, double value)
{
    if (values_.count(number) == 0)
        return kInvalidStatement;
    if (!std::isfinite(value))
        return kBadNumberFormat;
    if (value < 0)
        return kNegativeValue;
    values_[number] = value;
    return 0;
}

void GrblSettings::restore() { values_ = machine_; }

double GrblSettings::get(int number) const
{
    auto it = values_.find(number);
    return it == values_.end() ? 0 : it->second;
}

} // namespace korva3_grbl
