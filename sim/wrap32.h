// wrap32.h - position arithmetic of a 32-bit counter: sums of positions (pulses) wrap
// modulo 2^32, as the card's position counters do, never overflow.
#ifndef KORVA_SIM_WRAP32_H
#define KORVA_SIM_WRAP32_H

#include <cstdint>

namespace korva::sim {

inline std::int32_t wrap_add(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

} // namespace korva::sim

#endif
