// machine_description.h - the machine the virtual card's library builds when it loads:
// the cards on the PCI bus, the OS it reports, the controllers' timing, switches and
// inputs, the clock mode, the trace file and the panel's settings.
//
// A description is a TOML file (docs/virtual-machine.md: "Run your own program on
// the virtual card");
// without one the library builds the default machine below.
#ifndef KORVA_SIM_MACHINE_DESCRIPTION_H
#define KORVA_SIM_MACHINE_DESCRIPTION_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "controller.h"

namespace korva::sim {

// Limit switches (low > high: none) and home switch of one axis, in pulses.
struct AxisSwitches {
    std::int32_t limit_low = 1;
    std::int32_t limit_high = 0;
    std::int32_t home = 0;
};

struct CardDescription {
    std::uint32_t bus = 0;
    std::uint32_t device = 1;
    std::uint32_t id_switch = 0;           // 0..15
    std::uint32_t inputs = 0;              // what the digital inputs read (0..255)
    std::array<AxisSwitches, 3> axes{};    // X, Y, Z
};

enum class ClockMode { Virtual, Wall };

// Settings of the browser panel (stored; the panel hook acts on them).
struct PanelSettings {
    bool enabled = false;
    std::uint32_t port = 0; // 0: any free port
};

struct MachineDescription {
    std::string source = "default machine";   // the file it came from
    std::vector<CardDescription> cards{CardDescription{}};
    std::uint32_t os_platform = 2, os_major = 5, os_minor = 1; // Windows XP
    bool driver_present = true;
    TimingSettings timing;                     // slice 1 ms, queue 256, status 20 ms
    ClockMode clock = ClockMode::Wall;
    double speed = 1.0;                        // machine time per host time (wall mode)
    std::string trace_path;                    // empty: no trace
    PanelSettings panel;
};

// Reads the description in file `path`. False with `error` = "FILE:LINE: what is wrong"
// when the file cannot be read or is not a valid description (desc is then untouched,
// and *trace_named, if given, is the trace file the description names, when it could
// be read before the fault: the refusal is written there). Only a regular file of at
// most 1 MiB is read, and only text within common/toml_file.h's limits is parsed.
bool read_machine_description(const std::string& path, MachineDescription& desc,
                              std::string& error, std::string* trace_named = nullptr);

// The same for the text of a description that came from `path`.
bool parse_machine_description(const std::string& path, const std::string& text,
                               MachineDescription& desc, std::string& error,
                               std::string* trace_named = nullptr);

} // namespace korva::sim

#endif
