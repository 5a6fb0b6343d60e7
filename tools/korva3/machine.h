// machine.h - the machine the tool drives. Chosen when building (KORVA_TOOL_HARDWARE):
// virtual_machine.cpp, the virtual machine inside korva32sim (the default), or
// hardware_machine.cpp, real cards through korva32. Every KSIM_ call of the tool is in
// virtual_machine.cpp.
#ifndef KORVA3_TOOL_MACHINE_H
#define KORVA3_TOOL_MACHINE_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korva3_tool {

// A virtual card to put on the machine: its PCI place and ID switch.
struct CardPlace {
    uint32_t bus = 0;
    uint32_t device = 1;
    uint32_t id_switch = 0;
};

// How to set the virtual machine up (ignored on real hardware).
struct MachineSetup {
    std::vector<CardPlace> cards{CardPlace{}};
    int64_t slice_us = -1;   // slice period in microseconds; -1: the machine's default
    int64_t queue_size = -1; // slices the controller's queue holds; -1: the default
};

using RawFrame = std::array<uint8_t, 13>;

// One position of the path a card executed, at a moment of virtual time.
struct MotionRecord {
    uint32_t t_ms;
    int32_t x, y, z;
};

// What one virtual card received and did since the last take.
struct CardActivity {
    int index = 0; // the virtual card (0, 1, ... as set up)
    int card = -1; // the library's card number bound to it, -1 while none
    std::vector<RawFrame> frames;
    std::vector<MotionRecord> motion;
};

namespace machine {

// True for the virtual machine.
bool is_virtual();

// "virtual card" or "real card".
const char *kind();

// Builds the machine (virtual: a fresh machine with these cards). Returns false with a
// message when that cannot be done.
bool setup(const MachineSetup &setup, std::string &error);

// Milliseconds since some start: the virtual clock, or the host's steady clock.
uint32_t clock_ms();

// Lets ms milliseconds pass (virtual time, or a real sleep on hardware).
void sleep_ms(uint32_t ms);

// What every virtual card received and did since the last call (empty on hardware).
// Also forgets the machine's other records (port accesses, bytes) so long jobs stay small.
std::vector<CardActivity> take_activity();

// Positions of the virtual cards now, by index (empty on hardware).
std::vector<std::array<int32_t, 3>> card_positions();

// X, Y, Z of the card bound to library card number `card`: the controller's commanded
// positions on the virtual machine, the last status frame's on hardware. False if the
// card number reaches no card.
bool position(uint32_t card, std::array<int32_t, 3> &xyz);

// Starts the virtual machine's front panel on 127.0.0.1:port (0: a free port) and holds
// virtual time to real time, so a person can watch; the address to open in url. False
// with a message on real cards or when the panel cannot start.
bool start_panel(uint32_t port, std::string &url, std::string &error);

} // namespace machine
} // namespace korva3_tool

#endif
