// controller_view.h - one card's controller as a person at the machine sees it: what a
// front panel shows, and the switches a hand can hold.
#ifndef KORVA_SIM_CONTROLLER_VIEW_H
#define KORVA_SIM_CONTROLLER_VIEW_H

#include <cstdint>

namespace korva::sim {

// Switches of one axis that a hand can hold (bits of a mask).
enum HandSwitch : std::uint8_t {
    kHandLimitLow = 1,
    kHandLimitHigh = 2,
    kHandHome = 4
};

// Fault bits of ControllerView::faults.
enum FaultBit : std::uint8_t {
    kFaultBitSilent = 1,
    kFaultBitStall = 2,   // the next status report stops part-way
    kFaultBitCorrupt = 4, // status reports with a wrong check byte still to come
    kFaultBitNeverReady = 8
};

struct ControllerView {
    std::int32_t commanded[3];   // X, Y, Z where the card is told to go: where the axis
                                 // stands plus the slices queued and what a move has to go
                                 // (pulses)
    std::int32_t actual[3];      // X, Y, Z where the axis stands now (pulses)
    std::uint8_t status;         // STATUS_REG as the model gives it (busy, moving bits)
    std::uint8_t limits;         // the limit byte of the status report
    std::uint8_t held[3];        // HandSwitch bits held per axis
    std::uint8_t inputs;         // digital inputs
    std::uint8_t outputs;        // last value written to DIO_REG
    std::uint8_t faults;         // FaultBit bits
    std::uint8_t last_command;   // code of the last good command
    bool link_answers;           // answers the link test
    std::uint8_t id_switch;      // the card's ID switch
    std::uint32_t queued;        // slices waiting in the queue
    std::uint32_t queue_size;    // slices the queue holds
    std::uint32_t commands;      // good commands taken
    std::uint32_t bad_commands;  // commands whose two copies differed
    std::uint32_t resets;        // controller resets by the reset line
    bool estop;                  // the emergency stop is held pressed by hand
};

} // namespace korva::sim

#endif
