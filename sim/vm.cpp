// vm.cpp - clock, port dispatch and logs of the virtual machine.
#include "vm.h"

#include "port/card_regs.h"

namespace korva::sim {

std::mutex& machine_mutex()
{
    // Never destroyed: the library may still touch the machine while the process exits.
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

Machine& machine_unlocked()
{
    static Machine* vm = new Machine;
    return *vm;
}

void Machine::reset()
{
    now_us_ = 0;
    clock_offset_ms_ = 0;
    default_timing_ = TimingSettings{};
    logging_ = true;
    cards_.clear();
    cards_.reserve(kMaxCards);
    pci_.reset();
    os_.reset();
    port_writes_.clear();
    port_reads_.clear();
}

// ---- Clock ------------------------------------------------------------------------------

std::uint32_t Machine::clock_ms() const
{
    return static_cast<std::uint32_t>(now_us_ / 1000) + clock_offset_ms_;
}

std::uint32_t Machine::read_clock_ms()
{
    std::uint32_t ms = clock_ms();
    tick(kClockReadUs);
    return ms;
}

void Machine::set_clock_ms(std::uint32_t ms)
{
    clock_offset_ms_ = ms - static_cast<std::uint32_t>(now_us_ / 1000);
}

// ---- Cards ----------------------------------------------------------------------------------

std::int32_t Machine::add_card(const PciIdentity& pci, std::uint8_t id_switch)
{
    if (pci.bus >= kPciBuses || pci.device >= kPciDevices || cards_.size() >= kMaxCards)
        return -1;
    for (const SimCard& other : cards_)
        if (other.pci.bus == pci.bus && other.pci.device == pci.device)
            return -1;

    const auto index = static_cast<std::uint32_t>(cards_.size());
    const auto io_base = static_cast<std::uint16_t>(kFirstIoBase + index * kCardWindow);
    const auto irq = static_cast<std::uint8_t>(9 + index % 6);
    SimCard& card = cards_.emplace_back(pci, io_base, irq, id_switch, default_timing_);
    card.device_path = OsStandin::default_interface_path(index, pci);
    card.controller.set_logging(logging_);
    card.controller.advance_to(now_us_);
    return static_cast<std::int32_t>(index);
}

SimCard* Machine::card(std::int32_t index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= cards_.size())
        return nullptr;
    SimCard& card = cards_[static_cast<std::size_t>(index)];
    card.controller.advance_to(now_us_);
    return &card;
}

void Machine::set_timing(std::int32_t index, const TimingSettings& timing)
{
    if (index < 0) {
        default_timing_ = timing;
        for (SimCard& c : cards_) {
            c.controller.advance_to(now_us_);
            c.controller.set_timing(timing);
        }
    } else if (SimCard* c = card(index)) {
        c->controller.set_timing(timing);
    }
}

void Machine::advance_ms(std::uint32_t ms)
{
    tick(static_cast<std::uint64_t>(ms) * 1000);
    for (SimCard& c : cards_)
        c.controller.advance_to(now_us_);
}

// A host that reads one STATUS_REG over and over with nothing between waits for the
// controller: rather than spend a microsecond per read, let its time run on to the
// controller's next event (at most a millisecond at a time, so other cards and the
// clock keep their pace).
void Machine::let_spinning_host_wait(std::uint16_t port, std::uint32_t run_before, Controller& c)
{
    constexpr std::uint32_t kSpinReads = 16;
    spin_reads_ = (port == spin_port_ ? run_before : 0) + 1;
    spin_port_ = port;
    if (spin_reads_ < kSpinReads)
        return;
    const std::uint64_t next = std::min(c.next_event_us(), now_us_ + 1000);
    if (next > now_us_) {
        now_us_ = next;
        c.advance_to(now_us_);
    }
}

Controller* Machine::controller_at(std::uint16_t port, std::uint32_t* offset)
{
    if (port < kFirstIoBase)
        return nullptr;
    SimCard* c = card(static_cast<std::int32_t>((port - kFirstIoBase) / kCardWindow));
    if (c == nullptr)
        return nullptr;
    *offset = (port - kFirstIoBase) % kCardWindow;
    return &c->controller;
}

// ---- Port space ---------------------------------------------------------------------------

std::uint8_t Machine::in8(std::uint16_t port)
{
    const std::uint32_t run_before = spin_reads_;
    tick(kPortAccessUs);
    std::uint8_t value = 0xFF;
    std::uint32_t offset = 0;
    if (Controller* c = controller_at(port, &offset)) {
        value = c->in8(offset);
        if (offset == STATUS_REG)
            let_spinning_host_wait(port, run_before, *c);
    }
    log_read(port, value, 8);
    return value;
}

std::uint16_t Machine::in16(std::uint16_t port)
{
    tick(kPortAccessUs);
    std::uint16_t value = 0xFFFF;
    std::uint32_t offset = 0;
    if (port == PCI_CONFIG_DATA_LO || port == PCI_CONFIG_DATA_HI)
        value = pci_.read16(port, cards_);
    else if (Controller* c = controller_at(port, &offset))
        value = c->in16(offset);
    log_read(port, value, 16);
    return value;
}

void Machine::out8(std::uint16_t port, std::uint8_t value)
{
    tick(kPortAccessUs);
    std::uint32_t offset = 0;
    if (Controller* c = controller_at(port, &offset))
        c->out8(offset, value);
    log_write(port, value, 8);
}

void Machine::out16(std::uint16_t port, std::uint16_t value)
{
    tick(kPortAccessUs);
    std::uint32_t offset = 0;
    if (Controller* c = controller_at(port, &offset))
        c->out16(offset, value);
    log_write(port, value, 16);
}

void Machine::out32(std::uint16_t port, std::uint32_t value)
{
    tick(kPortAccessUs);
    std::uint32_t offset = 0;
    if (port == PCI_CONFIG_ADDRESS)
        pci_.select(value);
    else if (Controller* c = controller_at(port, &offset))
        c->out32(offset, value);
    log_write(port, value, 32);
}

// ---- Logs -----------------------------------------------------------------------------------

void Machine::set_logging(bool on)
{
    logging_ = on;
    os_.set_logging(on);
    for (SimCard& card : cards_)
        card.controller.set_logging(on);
}

void Machine::log_write(std::uint16_t port, std::uint32_t value, std::uint8_t width)
{
    if (logging_)
        port_writes_.push(PortAccess{port, width, value});
}

void Machine::log_read(std::uint16_t port, std::uint32_t value, std::uint8_t width)
{
    if (logging_)
        port_reads_.push(PortAccess{port, width, value});
}

std::uint32_t Machine::take_accesses(BoundedLog<PortAccess>& log, std::uint16_t* ports,
                                     std::uint32_t* values, std::uint8_t* widths,
                                     std::uint32_t max)
{
    return static_cast<std::uint32_t>(log.take(max, [&](const PortAccess& a, std::size_t i) {
        if (ports)
            ports[i] = a.port;
        if (values)
            values[i] = a.value;
        if (widths)
            widths[i] = a.width;
    }));
}

std::uint32_t Machine::take_port_writes(std::uint16_t* ports, std::uint32_t* values,
                                        std::uint8_t* widths, std::uint32_t max)
{
    return take_accesses(port_writes_, ports, values, widths, max);
}

std::uint32_t Machine::take_port_reads(std::uint16_t* ports, std::uint32_t* values,
                                       std::uint8_t* widths, std::uint32_t max)
{
    return take_accesses(port_reads_, ports, values, widths, max);
}

} // namespace korva::sim
