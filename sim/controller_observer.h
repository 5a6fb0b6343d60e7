// controller_observer.h - what a controller tells whoever watches it (the trace): each
// event with the controller's virtual time in microseconds.
#ifndef KORVA_SIM_CONTROLLER_OBSERVER_H
#define KORVA_SIM_CONTROLLER_OBSERVER_H

#include <cstddef>
#include <cstdint>

#include "frame_decoder.h"

namespace korva::sim {

class ControllerObserver {
public:
    virtual ~ControllerObserver() = default;
    // A command taken (good: frame is its first copy) or refused (frame null).
    virtual void on_command(std::uint64_t us, const Frame* frame) = 0;
    // A status report written for the host: `length` of its 32 bytes after 55 AA.
    virtual void on_status(std::uint64_t us, const std::uint8_t* report, std::size_t length) = 0;
    // The commanded positions changed (after a slice, or a millisecond of axis motion).
    virtual void on_motion(std::uint64_t us, std::int32_t x, std::int32_t y, std::int32_t z) = 0;
    virtual void on_outputs(std::uint64_t us, std::uint8_t value) = 0;
    virtual void on_inputs(std::uint64_t us, std::uint8_t value) = 0;
    // The reset line reset the controller.
    virtual void on_reset(std::uint64_t us) = 0;
    // The emergency stop pressed (latched) or let go by hand.
    virtual void on_estop(std::uint64_t us, bool pressed) = 0;
    // A limit switch stopped axis 0..2 at this position (pulses).
    virtual void on_limit(std::uint64_t us, std::size_t axis, std::int32_t position) = 0;
};

} // namespace korva::sim

#endif
