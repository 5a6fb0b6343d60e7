// machine_loader.h - building the machine from its description: when the library loads
// (KORVA32_MACHINE names the file; else korva32-machine.toml beside the library; else
// the default machine), and on request (KSIM_LOAD_MACHINE).
//
// A program that calls a KSIM_ function sets the machine up itself: its first KSIM_
// call (ksim_enter) puts back the empty machine in virtual time, library variables at
// their load values, exactly as the library started before machines were described.
#ifndef KORVA_SIM_MACHINE_LOADER_H
#define KORVA_SIM_MACHINE_LOADER_H

#include <string>

#include "machine_description.h"

namespace korva::sim {

inline constexpr const char* kMachineVariable = "KORVA32_MACHINE";
inline constexpr const char* kMachineFileName = "korva32-machine.toml";

// At load, before the library's process-attach hook: builds the described machine. A
// bad description is reported (file, line, what: standard error, the debugger's output,
// the trace, and beside the library's message when registration finds no card) and
// gives a machine without cards; the default machine is built only when there is no
// description at all.
void load_machine_at_start();

// Builds the machine from the file at `path` (null or empty: looked up as at load),
// runs the library's load hooks again, and keeps it (no empty machine at the next
// KSIM_ call). False with `error` when the file is bad: a machine without cards.
bool load_machine(const char* path, std::string& error);

// Called first by every KSIM_ function.
void ksim_enter();

// Where the panel starts (the one place the description's [panel] is acted on).
void start_panel(const PanelSettings& panel);

// The [panel] settings of the description read at load (enabled false without one).
const PanelSettings& described_panel();

} // namespace korva::sim

#endif
