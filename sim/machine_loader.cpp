// machine_loader.cpp - finding, reading and building the described machine, and giving
// it up at a program's first KSIM_ call.
#include "machine_loader.h"

#include "panel/panel.h"

#include <atomic>

#include "card/pci_scan.h"
#include "host.h"
#include "korva3_sim.h"
#include "port/platform.h"
#include "vm.h"

namespace korva::sim {

namespace {

// The public names of the card's PCI IDs are the ones the library looks for.
static_assert(KSIM_PCI_VENDOR == CARD_VENDOR_ID && KSIM_PCI_DEVICE == CARD_DEVICE_ID &&
                  KSIM_PCI_SUBVENDOR == CARD_SUBSYS_VENDOR && KSIM_PCI_SUBSYSTEM == CARD_SUBSYS_ID,
              "korva3_sim.h and the PCI scan disagree on the card's IDs");

PanelSettings panel_at_load;

// True while the machine is the one built at load: the first KSIM_ call replaces it.
std::atomic<bool> built_at_load{false};

// Builds the machine (the caller holds the machine's mutex). Problems with the trace
// file are reported, not fatal. A refused description (`refusal`: why) gives a machine
// without cards, which remembers why and says so in its trace.
void build(Machine& vm, const MachineDescription& d, const std::string& refusal)
{
    vm.reset("machine described again");
    vm.os().set_version(d.os_platform, d.os_major, d.os_minor);
    vm.os().set_driver_present(d.driver_present);
    vm.set_timing(-1, d.timing);
    std::string why;
    if (!d.trace_path.empty() && !vm.trace().open(d.trace_path, d, why))
        host::report("korva32sim: cannot write the trace file " + d.trace_path + ": " + why);
    if (!refusal.empty()) {
        vm.set_refusal(refusal);
        vm.trace().refused(refusal);
    }
    PciIdentity pci;
    pci.vendor_id = KSIM_PCI_VENDOR, pci.device_id = KSIM_PCI_DEVICE;
    pci.subsys_vendor = KSIM_PCI_SUBVENDOR, pci.subsys_id = KSIM_PCI_SUBSYSTEM;
    for (const CardDescription& c : d.cards) {
        pci.bus = c.bus, pci.device = c.device;
        SimCard* card = vm.card(vm.add_card(pci, static_cast<std::uint8_t>(c.id_switch)));
        if (card == nullptr)
            continue; // the description's checks make this impossible
        card->controller.set_inputs(static_cast<std::uint8_t>(c.inputs));
        for (std::uint32_t axis = 1; axis <= 3; ++axis) {
            const AxisSwitches& s = c.axes[axis - 1];
            card->controller.set_limits(axis, s.limit_low, s.limit_high);
            card->controller.set_home(axis, s.home);
        }
    }
    vm.set_wall_clock(d.clock == ClockMode::Wall, d.speed);
}

// The description to build: from `path`, else the variable, else the file beside the
// library, else (no description at all) the default machine. False with `error` for a
// bad file: desc is then a machine without cards (a PC without the card), with the
// file as its source and the trace the file names, if it could be read.
bool find_description(const std::string& path, MachineDescription& desc, std::string& error)
{
    std::string file = path;
    if (file.empty())
        file = host::environment(kMachineVariable);
    if (file.empty()) {
        const std::string beside = host::library_folder() + kMachineFileName;
        if (host::exists(beside)) // whatever it is: a FIFO or a folder is refused
            file = beside;
    }
    desc = MachineDescription{};
    if (file.empty())
        return true;
    std::string trace;
    if (read_machine_description(file, desc, error, &trace))
        return true;
    desc = MachineDescription{};
    desc.cards.clear();
    desc.source = file;
    desc.trace_path = trace;
    return false;
}

// What a refused description costs, said on standard error (and to the debugger).
void report_refusal(const std::string& error)
{
    host::report("korva32sim: " + error +
                 "; no machine: the program finds no card (fix the description; without "
                 "one the default machine is built)");
}

} // namespace

// Runs while the library is being loaded (on Windows inside DllMain): whatever starts
// here must not wait for a thread of its own, nor load a library.
void start_panel(const PanelSettings& panel)
{
    // Binds the loopback port and starts the server's thread, without waiting for it;
    // prints the address (or why there is none) on standard error.
    if (panel.enabled)
        panel::start(panel.port, /*announce=*/true);
}

const PanelSettings& described_panel()
{
    return panel_at_load;
}

void load_machine_at_start()
{
    MachineDescription desc;
    std::string error;
    const bool ok = find_description("", desc, error);
    if (!ok)
        report_refusal(error);
    with_machine([&](Machine& vm) { build(vm, desc, ok ? std::string() : error); });
    built_at_load = true;
    panel_at_load = desc.panel;
    start_panel(desc.panel);
}

bool load_machine(const char* path, std::string& error)
{
    MachineDescription desc;
    const bool ok = find_description(path ? path : "", desc, error);
    if (!ok)
        report_refusal(error);
    with_machine([&](Machine& vm) { build(vm, desc, ok ? std::string() : error); });
    core_load_state();
    core_process_attach();
    return ok;
}

void ksim_enter()
{
    if (!built_at_load.exchange(false))
        return;
    with_machine([](Machine& vm) { vm.reset("the program sets the machine up (KSIM_ call)"); });
    core_load_state();
    core_process_attach();
}

} // namespace korva::sim
