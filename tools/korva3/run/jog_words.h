// jog_words.h - how the panel's jogs are told: a step ("+1 mm", "-10 pulses") and where an
// axis stands ("X at 1.000 mm"). `scale` is the axis's pulses per mm, 0 to speak in pulses.
#ifndef KORVA3_TOOL_RUN_JOG_WORDS_H
#define KORVA3_TOOL_RUN_JOG_WORDS_H

#include <cstdint>
#include <string>

namespace korva3_tool {

std::string jog_amount(int32_t pulses, double scale);
std::string axis_at(char axis, int32_t pulses, double scale);

} // namespace korva3_tool

#endif
