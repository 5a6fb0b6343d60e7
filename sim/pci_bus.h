// pci_bus.h - PCI configuration mechanism #1 over the machine's cards.
#ifndef KORVA_SIM_PCI_BUS_H
#define KORVA_SIM_PCI_BUS_H

#include <cstdint>
#include <vector>

#include "card.h"

namespace korva::sim {

inline constexpr std::uint32_t kPciBuses = 32;
inline constexpr std::uint32_t kPciDevices = 32;

class PciConfigSpace {
public:
    // A 32-bit write to the address port.
    void select(std::uint32_t address) { address_ = address; }

    // A 16-bit read of the data port (low or high half of the selected dword).
    std::uint16_t read16(std::uint16_t port, const std::vector<SimCard>& cards) const;

    void reset() { address_ = 0; }

private:
    static std::uint32_t config_dword(const SimCard& card, std::uint32_t index);

    std::uint32_t address_ = 0;
};

} // namespace korva::sim

#endif
