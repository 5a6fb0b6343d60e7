// machine_link.h - what the controller needs from the machine it runs on beyond the
// library's functions: a clock and a way to let time pass (the virtual machine's own
// time, or the host's), and the machine's own emergency stop when it has one (the
// virtual machine's panel). The front end that builds the controller provides it.
#ifndef KORVA3_CONTROL_MACHINE_LINK_H
#define KORVA3_CONTROL_MACHINE_LINK_H

#include <array>
#include <cstdint>

namespace korva3_control {

class MachineLink {
public:
    virtual ~MachineLink() = default;
    // Milliseconds since some start, on the thread that owns the card.
    virtual uint32_t clock_ms() = 0;
    // Lets `ms` milliseconds pass on that thread (virtual time, or a real sleep).
    virtual void sleep_ms(uint32_t ms) = 0;
    // True while the machine's own emergency stop is pressed (never, by default).
    virtual bool estop_pressed() { return false; }
    // X, Y, Z of library card number `card`, pulses: by default the last status
    // frame's commanded positions (KORVA3_GET_CARD, then KORVA3_GET_XC ...), which a
    // real card sends every 20 ms; the virtual machine knows them at every moment.
    virtual bool position(uint32_t card, std::array<int32_t, 3> &xyz);
};

} // namespace korva3_control

#endif
