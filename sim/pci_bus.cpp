// pci_bus.cpp - what the cards' configuration spaces read.
#include "pci_bus.h"

#include "port/card_regs.h"

namespace korva::sim {

namespace {
constexpr std::uint32_t kEnableBit = 0x80000000u;
constexpr std::uint32_t kIoSpaceBit = 0x1;
constexpr std::uint16_t kNobody = 0xFFFF;

enum ConfigDword : std::uint32_t {
    kIdsDword = 0,       // vendor | device << 16
    kBar0Dword = 4,      // I/O base | I/O space bit
    kSubsystemDword = 11, // subsystem vendor | subsystem id << 16
    kInterruptDword = 15 // interrupt line in the low byte
};
} // namespace

std::uint32_t PciConfigSpace::config_dword(const SimCard& card, std::uint32_t index)
{
    switch (index) {
    case kIdsDword:
        return card.pci.vendor_id | static_cast<std::uint32_t>(card.pci.device_id) << 16;
    case kBar0Dword:
        return card.io_base | kIoSpaceBit;
    case kSubsystemDword:
        return card.pci.subsys_vendor | static_cast<std::uint32_t>(card.pci.subsys_id) << 16;
    case kInterruptDword:
        return card.irq;
    default:
        return 0;
    }
}

std::uint16_t PciConfigSpace::read16(std::uint16_t port, const std::vector<SimCard>& cards) const
{
    if (!(address_ & kEnableBit))
        return kNobody;
    const std::uint32_t bus = (address_ >> 16) & 0xFF;
    const std::uint32_t device = (address_ >> 11) & 0x1F;
    const std::uint32_t function = (address_ >> 8) & 0x07;
    const std::uint32_t index = (address_ >> 2) & 0x3F;
    if (bus >= kPciBuses || function != 0)
        return kNobody;

    for (const SimCard& card : cards) {
        if (card.pci.bus != bus || card.pci.device != device)
            continue;
        std::uint32_t dword = config_dword(card, index);
        return static_cast<std::uint16_t>(port == PCI_CONFIG_DATA_HI ? dword >> 16 : dword);
    }
    return kNobody;
}

} // namespace korva::sim
