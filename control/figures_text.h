// figures_text.h - a program's figures as a person reads them, the same in every front
// end: a duration, a length in mm.
#ifndef KORVA3_CONTROL_FIGURES_TEXT_H
#define KORVA3_CONTROL_FIGURES_TEXT_H

#include <string>

namespace korva3_control {

std::string duration_text(double ms); // "22.9 s", "3 min 4.5 s", "101 hours"
std::string mm_text(double v);        // "12.500": three decimals

} // namespace korva3_control

#endif
