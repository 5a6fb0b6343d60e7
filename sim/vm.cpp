// vm.cpp - clock, port dispatch and logs of the virtual machine.
#include "vm.h"

#include "port/card_regs.h"
#include "wall_ticker.h"

namespace korva::sim {


// Constant-initialised, so they hold nullptr before any constructor runs, in any order.
std::atomic<Machine*> the_machine{nullptr};
std::atomic<MachineGate*> the_gate{nullptr};

Machine& make_machine()
{
    // Both made at once, by the first thread to touch the machine.
    static Machine* vm = [] {
        the_gate.store(new MachineGate, std::memory_order_release);
        Machine* m = new Machine;
        the_machine.store(m, std::memory_order_release);
        return m;
    }();
    return *vm;
}

void Machine::reset(const char* why)
{
    cards_.clear(); // before the trace: the controllers point at its sinks
    trace_.close(now_us_, why);
    refusal_.clear();
    now_us_ = 0;
    wall_ = false;
    speed_ = 1.0;
    clock_offset_ms_ = 0;
    default_timing_ = TimingSettings{};
    logging_ = true;
    sinks_ = Sinks{};
    cards_.clear();
    cards_.reserve(kMaxCards);
    pci_.reset();
    os_.reset();
    port_writes_.clear();
    port_reads_.clear();
    clock_view_ms_.store(0, std::memory_order_relaxed);
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
    clock_view_ms_.store(ms, std::memory_order_relaxed);
}

void Machine::set_wall_clock(bool wall, double speed)
{
    if (wall_)
        follow_wall();
    wall_ = wall;
    speed_ = speed > 0 ? speed : 1.0;
    wall_origin_ = std::chrono::steady_clock::now();
    wall_origin_us_ = now_us_;
}

void Machine::follow_wall()
{
    const std::chrono::duration<double, std::micro> host = std::chrono::steady_clock::now() - wall_origin_;
    const auto target = wall_origin_us_ + static_cast<std::uint64_t>(host.count() * speed_);
    now_us_ = std::max(now_us_, target);
    if (!ticker_running_) {
        ticker_running_ = true;
        start_wall_ticker();
    }
}

std::int64_t Machine::wall_lead_us() const
{
    if (!wall_)
        return -1;
    const std::chrono::duration<double, std::micro> host = std::chrono::steady_clock::now() - wall_origin_;
    const auto target = wall_origin_us_ + static_cast<std::uint64_t>(host.count() * speed_);
    return now_us_ > target ? static_cast<std::int64_t>((now_us_ - target) / speed_) : 0;
}

bool Machine::catch_up_with_wall()
{
    if (!wall_) {
        ticker_running_ = false;
        return false;
    }
    follow_wall();
    for (SimCard& c : cards_)
        c.controller.advance_to(now_us_);
    return true;
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
    card.controller.set_sinks(sinks_, static_cast<std::int32_t>(index));
    card.controller.advance_to(now_us_);
    trace_.watch(card.controller, index);
    return static_cast<std::int32_t>(index);
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
void Machine::let_spinning_host_wait(Controller& c)
{
    const std::uint64_t next = std::min(c.next_event_us(), now_us_ + 1000);
    if (next > now_us_) {
        now_us_ = next;
        c.advance_to(now_us_);
    }
}

// ---- Port space ---------------------------------------------------------------------------

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

void Machine::set_sinks(const Sinks& sinks)
{
    sinks_ = sinks;
    for (std::size_t i = 0; i < cards_.size(); ++i)
        cards_[i].controller.set_sinks(sinks, static_cast<std::int32_t>(i));
}

void Machine::push_write(std::uint16_t port, std::uint32_t value, std::uint8_t width)
{
    port_writes_.push(PortAccess{port, width, value});
}

void Machine::push_read(std::uint16_t port, std::uint32_t value, std::uint8_t width)
{
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
