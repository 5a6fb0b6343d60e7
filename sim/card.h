// card.h - a card plugged into the virtual machine: where it sits on the PCI bus, what
// its configuration space says, and its controller.
#ifndef KORVA_SIM_CARD_H
#define KORVA_SIM_CARD_H

#include <cstdint>
#include <string>

#include "controller.h"

namespace korva::sim {

struct PciIdentity {
    std::uint32_t bus = 0;
    std::uint32_t device = 0;
    std::uint16_t vendor_id = 0;
    std::uint16_t device_id = 0;
    std::uint16_t subsys_vendor = 0;
    std::uint16_t subsys_id = 0;
};

struct SimCard {
    SimCard(const PciIdentity& pci_, std::uint16_t io_base_, std::uint8_t irq_,
            std::uint8_t id_switch, const TimingSettings& timing)
        : pci(pci_), io_base(io_base_), irq(irq_), controller(id_switch, timing)
    {
    }

    PciIdentity pci;
    std::uint16_t io_base;
    std::uint8_t irq;
    std::string device_path; // its device interface's path, as the OS would list it
    Controller controller;
};

} // namespace korva::sim

#endif
