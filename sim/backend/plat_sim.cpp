// plat_sim.cpp - the platform backend of korva32sim: every port access, clock reading
// and OS service goes to the virtual machine.
#include "port/platform.h"

#include <string>
#include <utility>

#include "host.h"
#include "panel/panel.h"
#include "machine_loader.h"
#include "vm.h"

using korva::sim::Machine;
using korva::sim::with_machine;

namespace {

// A step of the program on the machine; then, with the machine's mutex free again, the
// pace (virtual time held to the wall clock) when one is set.
struct PaceAfter {
    ~PaceAfter() { korva::sim::panel::pace(); }
};

template <class F>
decltype(auto) step(F&& f)
{
    PaceAfter pace;
    return with_machine(std::forward<F>(f));
}

} // namespace

// ---- Ports -------------------------------------------------------------------------------
// The mailbox's byte traffic (in8, out8) is the hot path of every path the library
// sends: the machine's dispatch is inlined into it whole.
#if defined(__GNUC__) && !defined(__clang__)
#define KORVA_SIM_HOT __attribute__((flatten))
#else
#define KORVA_SIM_HOT
#endif

KORVA_SIM_HOT void plat_out8(uint16_t port, uint8_t value)
{
    step([&](Machine& vm) { vm.out8(port, value); });
}

void plat_out16(uint16_t port, uint16_t value)
{
    step([&](Machine& vm) { vm.out16(port, value); });
}

void plat_out32(uint16_t port, uint32_t value)
{
    step([&](Machine& vm) { vm.out32(port, value); });
}

KORVA_SIM_HOT uint8_t plat_in8(uint16_t port)
{
    return step([&](Machine& vm) { return vm.in8(port); });
}

uint16_t plat_in16(uint16_t port)
{
    return step([&](Machine& vm) { return vm.in16(port); });
}

int plat_ports_usable(void)
{
    // The virtual machine's ports are always there.
    return with_machine([](Machine&) { return 1; });
}

// ---- Clock -----------------------------------------------------------------------------------

uint32_t plat_clock_ms(void)
{
    return step([](Machine& vm) { return vm.read_clock_ms(); });
}

// ---- OS services -----------------------------------------------------------------------------

void plat_os_version(uint32_t* platform, uint32_t* major, uint32_t* minor)
{
    with_machine([&](Machine& vm) { vm.os().version(platform, major, minor); });
}

plat_handle plat_open_device(const char* path, int write_access)
{
    return with_machine([&](Machine& vm) -> plat_handle {
        return vm.os().open_device(path, write_access, vm.cards());
    });
}

void plat_close_handle(plat_handle handle)
{
    with_machine([&](Machine& vm) { vm.os().close_handle(handle); });
}

namespace {

// Registration found no card on a machine whose description was refused: why, recorded
// as a message box of the machine's own (after the library's, when it shows one) and
// returned for standard error and the debugger's output ("" on any other machine).
std::string why_no_card(Machine& vm)
{
    const std::string& refusal = vm.refusal();
    if (!refusal.empty())
        vm.os().message_box(("no machine: " + refusal).c_str(), "korva32sim");
    return refusal;
}

void report_no_card(const std::string& refusal)
{
    if (!refusal.empty())
        korva::sim::host::report("korva32sim: no card found: no machine: " + refusal);
}

} // namespace

int plat_find_card_interface(uint32_t index, char* path, size_t size)
{
    // NT 5: registration asks for the card's device interface, and finds none.
    std::string refusal;
    const int found = with_machine([&](Machine& vm) {
        const int r = vm.os().find_card_interface(index, path, size, vm.cards());
        if (r == 0)
            refusal = why_no_card(vm);
        return r;
    });
    report_no_card(refusal);
    return found;
}

void plat_message_box(const char* text, const char* caption)
{
    // Nobody is there to press OK: the box is recorded and closes at once. The one box
    // the library shows says that registration found no card.
    std::string refusal;
    with_machine([&](Machine& vm) {
        vm.os().message_box(text, caption);
        refusal = why_no_card(vm);
    });
    report_no_card(refusal);
}

// ---- Load ------------------------------------------------------------------------------------

// Runs when the shared library is loaded, like the process-attach notice on Windows:
// the described machine is built, then the library records the version of its OS.
__attribute__((constructor)) static void korva_sim_process_attach(void)
{
    korva::sim::load_machine_at_start();
    core_process_attach();
}
