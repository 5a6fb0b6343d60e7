// ksim_api.cpp - the KSIM_ functions: setting the virtual machine up and looking inside.
// (KSIM_LIB_* look inside the library and live with it.)
#include "korva3_sim.h"

#include <string>

#include "port/platform.h"
#include "ksim_entry.h"

using korva::sim::Controller;
using korva::sim::Machine;
using korva::sim::PciIdentity;
using korva::sim::SimCard;
using korva::sim::entry::with_machine;

namespace {

// Runs f(controller) on card `index` under the machine's mutex; `fallback` if no such card.
template <class F, class R>
R with_controller(std::int32_t index, R fallback, F&& f)
{
    return with_machine([&](Machine& vm) -> R {
        SimCard* card = vm.card(index);
        return card ? f(card->controller) : fallback;
    });
}

template <class F>
void with_controller(std::int32_t index, F&& f)
{
    with_machine([&](Machine& vm) {
        if (SimCard* card = vm.card(index))
            f(card->controller);
    });
}

} // namespace

// ---- Machine -------------------------------------------------------------------------------

extern "C" KORVA3_API void KORVA3_CALL KSIM_RESET(void)
{
    with_machine([](Machine& vm) { vm.reset(); });
    // The core calls back into the machine: the mutex must be free here.
    core_load_state();
    core_process_attach();
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_OS(uint32_t platform, uint32_t major,
                                                   uint32_t minor)
{
    with_machine([&](Machine& vm) { vm.os().set_version(platform, major, minor); });
    core_process_attach();
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_DRIVER(uint32_t present)
{
    with_machine([&](Machine& vm) { vm.os().set_driver_present(present != 0); });
}

extern "C" KORVA3_API int32_t KORVA3_CALL KSIM_ADD_CARD(uint32_t bus, uint32_t device,
                                                       uint32_t vendor_id, uint32_t device_id,
                                                       uint32_t subsys_vendor,
                                                       uint32_t subsys_id, uint32_t id_switch)
{
    PciIdentity pci;
    pci.bus = bus;
    pci.device = device;
    pci.vendor_id = static_cast<uint16_t>(vendor_id);
    pci.device_id = static_cast<uint16_t>(device_id);
    pci.subsys_vendor = static_cast<uint16_t>(subsys_vendor);
    pci.subsys_id = static_cast<uint16_t>(subsys_id);
    return with_machine(
        [&](Machine& vm) { return vm.add_card(pci, static_cast<uint8_t>(id_switch & 0x0F)); });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_IO_BASE(int32_t index)
{
    return with_machine([&](Machine& vm) -> uint32_t {
        SimCard* card = vm.card(index);
        return card ? card->io_base : 0;
    });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_DEVICE_PATH(int32_t index, const char* path)
{
    with_machine([&](Machine& vm) {
        if (SimCard* card = vm.card(index))
            card->device_path =
                path ? std::string(path)
                     : korva::sim::OsStandin::default_interface_path(
                           static_cast<uint32_t>(index), card->pci);
    });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_CLOCK_MS(void)
{
    return with_machine([](Machine& vm) {
        vm.catch_up_with_wall(); // wall time: the clock is the host's
        return vm.clock_ms();
    });
}

// Another thread's look at the clock: no entry into the machine (and no first-call reset).
extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_CLOCK_VIEW_MS(void)
{
    return korva::sim::machine_unlocked().clock_view_ms();
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_CLOCK_MS(uint32_t ms)
{
    with_machine([&](Machine& vm) { vm.set_clock_ms(ms); });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_LOGGING(uint32_t on)
{
    with_machine([&](Machine& vm) { vm.set_logging(on != 0); });
}

// ---- Controller ----------------------------------------------------------------------------

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_LINK(int32_t index, uint32_t answers)
{
    with_controller(index, [&](Controller& c) { c.set_link(answers != 0); });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_HOLD(int32_t index, uint32_t n)
{
    with_controller(index, [&](Controller& c) { c.hold(n); });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_OFFER(int32_t index, const uint8_t* bytes,
                                                  uint32_t n)
{
    with_controller(index, [&](Controller& c) { c.offer(bytes, n); });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_OFFER_ON_LINK_TEST(int32_t index,
                                                               const uint8_t* bytes, uint32_t n)
{
    with_controller(index, [&](Controller& c) { c.offer_on_link_test(bytes, n); });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_INPUTS(int32_t index, uint32_t value)
{
    with_controller(index, [&](Controller& c) { c.set_inputs(static_cast<uint8_t>(value)); });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_FORCE_STATUS(int32_t index, uint32_t mask,
                                                         uint32_t value)
{
    with_controller(index, [&](Controller& c) {
        c.force_status(static_cast<uint8_t>(mask), static_cast<uint8_t>(value));
    });
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SCRIPT_STATUS(int32_t index, const uint8_t* values,
                                                          uint32_t n)
{
    with_controller(index, [&](Controller& c) { c.script_status(values, n); });
}

// ---- What the card received -------------------------------------------------------------------

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_FRAMES(int32_t index, uint8_t* out,
                                                           uint32_t max)
{
    return with_controller(index, 0u, [&](Controller& c) { return c.take_frames(out, max); });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_BAD_COMMANDS(int32_t index)
{
    return with_controller(index, 0u, [](Controller& c) { return c.bad_commands(); });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_BYTES(int32_t index, uint8_t* out,
                                                          uint32_t max)
{
    return with_controller(index, 0u, [&](Controller& c) { return c.take_bytes(out, max); });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_PORT_WRITES(uint16_t* ports,
                                                                uint32_t* values,
                                                                uint8_t* widths, uint32_t max)
{
    return with_machine(
        [&](Machine& vm) { return vm.take_port_writes(ports, values, widths, max); });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_PORT_READS(uint16_t* ports,
                                                               uint32_t* values,
                                                               uint8_t* widths, uint32_t max)
{
    return with_machine(
        [&](Machine& vm) { return vm.take_port_reads(ports, values, widths, max); });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_MESSAGES(char* text, uint32_t size)
{
    return with_machine([&](Machine& vm) { return vm.os().take_messages(text, size); });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_TAKE_OS_CALLS(char* text, uint32_t size)
{
    return with_machine([&](Machine& vm) { return vm.os().take_calls(text, size); });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_OPEN_HANDLES(void)
{
    return with_machine([](Machine& vm) { return vm.os().open_handles(); });
}

// ---- What the card understood -------------------------------------------------------------------

extern "C" KORVA3_API int32_t KORVA3_CALL KSIM_AXIS_PULSES(int32_t index, uint32_t axis)
{
    return with_controller(index, 0, [&](Controller& c) { return c.axis_pulses(axis); });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_OUTPUTS(int32_t index)
{
    return with_controller(index, 0u, [](Controller& c) -> uint32_t { return c.outputs(); });
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_RESETS(int32_t index)
{
    return with_controller(index, 0u, [](Controller& c) { return c.resets(); });
}

extern "C" KORVA3_API int32_t KORVA3_CALL KSIM_CARD_VALUE(int32_t index, const char* name,
                                                         uint32_t axis)
{
    if (name == nullptr)
        return 0;
    const std::string key(name);
    return with_controller(index, 0, [&](Controller& c) { return c.value(key, axis); });
}
