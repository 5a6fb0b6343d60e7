// ksim_motion_api.cpp - the KSIM_ functions of the controller's timed model: slice
// period, queue, status period, switches, letting time pass, the executed path, faults.
#include "korva3_sim.h"

#include <chrono>
#include <thread>

#include "ksim_entry.h"
#include "panel/panel.h"
#include "vm.h"

using korva::sim::Machine;
using korva::sim::SimCard;
using korva::sim::TimingSettings;
using korva::sim::entry::with_machine;

namespace {

// Changes one field of the timing of card `index` (or, for -1, of every card and the
// machine-wide default).
template <class Change>
void change_timing(int32_t index, Change change)
{
    with_machine([&](Machine& vm) {
        TimingSettings t = vm.default_timing();
        if (index >= 0) {
            SimCard* card = vm.card(index);
            if (card == nullptr)
                return;
            t = card->controller.timing();
        }
        change(t);
        vm.set_timing(index, t);
    });
}

// Runs f on card `index`, or on every card for -1.
template <class F>
void for_cards(int32_t index, F f)
{
    with_machine([&](Machine& vm) {
        for (int32_t i = 0; i < static_cast<int32_t>(vm.cards().size()); ++i)
            if (index < 0 || index == i)
                f(vm.card(i)->controller);
    });
}

} // namespace

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_SLICE_PERIOD_US(int32_t index, uint32_t us)
{
    change_timing(index, [&](TimingSettings& t) { t.slice_period_us = us; });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_QUEUE_SIZE(int32_t index, uint32_t slices)
{
    change_timing(index, [&](TimingSettings& t) { t.queue_size = slices; });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_STATUS_PERIOD_MS(int32_t index, uint32_t ms)
{
    change_timing(index, [&](TimingSettings& t) { t.status_period_ms = ms; });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_LIMITS(int32_t index, uint32_t axis, int32_t low,
                                                      int32_t high)
{
    for_cards(index, [&](korva::sim::Controller& c) { c.set_limits(axis, low, high); });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_HOME(int32_t index, uint32_t axis,
                                                    int32_t position)
{
    for_cards(index, [&](korva::sim::Controller& c) { c.set_home(axis, position); });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_ADVANCE_MS(uint32_t ms)
{
    // In wall-clock mode this is a real sleep (of ms / speed), with the machine free;
    // otherwise the machine advances at once, or in paced steps while the panel sets a pace.
    const double speed =
        with_machine([](Machine& vm) { return vm.wall_clock() ? vm.clock_speed() : 0.0; });
    if (speed > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms / speed));
        with_machine([&](Machine& vm) { vm.advance_ms(ms); });
        return;
    }
    korva::sim::panel::advance_ms(ms);
}

extern "C" KORVA3_API int32_t KORVA3_CALL KSIM_POSITION(int32_t index, uint32_t axis)
{
    return with_machine([&](Machine& vm) -> int32_t {
        SimCard* card = vm.card(index);
        return card ? card->controller.position(axis) : 0;
    });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_MOTION(int32_t index, int32_t* out,
                                                           uint32_t max)
{
    return with_machine([&](Machine& vm) -> uint32_t {
        SimCard* card = vm.card(index);
        return card ? card->controller.take_motion(out, max) : 0;
    });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_FAULT(int32_t index, uint32_t fault, uint32_t n)
{
    for_cards(index, [&](korva::sim::Controller& c) { c.fault(fault, n); });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_SINKS(KSIM_FRAME_SINK frames,
                                                    KSIM_MOTION_SINK motion, void* user)
{
    korva::sim::Sinks sinks;
    sinks.frames = frames;
    sinks.motion = motion;
    sinks.user = user;
    with_machine([&](Machine& vm) { vm.set_sinks(sinks); });
}
