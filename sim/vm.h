// vm.h - the virtual machine: the virtual clock, the I/O port space (PCI configuration
// ports and the cards' register windows), the port-access logs and the OS stand-in.
//
// There is one machine per process. Everything in it is guarded by one gate: reach it
// only through with_machine(), which holds it for the call (a mutex, free for a program
// that uses the machine from one thread: machine_gate.h). Never call into the library
// core while holding it (the core calls back into the machine).
#ifndef KORVA_SIM_VM_H
#define KORVA_SIM_VM_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "bounded_log.h"
#include "card.h"
#include "machine_gate.h"
#include "os_standin.h"
#include "pci_bus.h"
#include "port/card_regs.h"
#include "trace.h"

namespace korva::sim {

inline constexpr std::size_t kMaxCards = 64;
inline constexpr std::uint32_t kFirstIoBase = 0xC000; // card i decodes base + i * 0x100

// Virtual time the host spends per port access and per reading of the millisecond clock.
inline constexpr std::uint64_t kPortAccessUs = 1;
inline constexpr std::uint64_t kClockReadUs = 250;

class Machine {
public:
    Machine() { reset(); }

    // Empty machine: no cards, logs empty, clock 0 in virtual mode, default OS, logging
    // on, no trace (an open trace ends with a line saying `why`).
    void reset(const char* why = "KSIM_RESET");

    // ---- Clock ------------------------------------------------------------------------
    // What the host's millisecond clock reads now; the reading itself takes time.
    std::uint32_t read_clock_ms();
    // The same, seen from outside: no time passes.
    std::uint32_t clock_ms() const;
    // The clock as the thread driving the machine last saw it, for another thread (a
    // watchdog): read without entering the machine, so it never makes the machine shared.
    std::uint32_t clock_view_ms() const { return clock_view_ms_.load(std::memory_order_relaxed); }
    void set_clock_ms(std::uint32_t ms);
    // Virtual time (the default: it runs with the host's accesses) or wall time: the
    // machine's clock follows the host's steady clock times `speed`, from now on.
    void set_wall_clock(bool wall, double speed);
    bool wall_clock() const { return wall_; }
    double clock_speed() const { return speed_; }
    // Wall mode: host microseconds until the host's time reaches the machine's (a host
    // spinning on a status register runs it on; 0 when it is not ahead). -1 in virtual
    // mode.
    std::int64_t wall_lead_us() const;
    // Wall mode: brings the clock and every controller up to the host's time. False
    // (and the ticker is told to stop) in virtual mode.
    bool catch_up_with_wall();

    // ---- Port space ----------------------------------------------------------------------
    // in8 and out8 carry the mailbox traffic: kept here, so they inline into the backend.
#if defined(__GNUC__)
    __attribute__((always_inline))
#endif
    std::uint8_t in8(std::uint16_t port)
    {
        const std::uint32_t run_before = wall_ ? 0 : spin_reads_; // wall time: no jumps
        tick(kPortAccessUs);
        std::uint8_t value = 0xFF;
        std::uint32_t offset = 0;
        if (Controller* c = controller_at(port, &offset)) {
            value = c->in8(offset);
            if (offset == STATUS_REG)
                note_status_read(port, run_before, *c);
        }
        log_read(port, value, 8);
        return value;
    }
    std::uint16_t in16(std::uint16_t port);
#if defined(__GNUC__)
    __attribute__((always_inline))
#endif
    void out8(std::uint16_t port, std::uint8_t value)
    {
        tick(kPortAccessUs);
        std::uint32_t offset = 0;
        if (Controller* c = controller_at(port, &offset))
            c->out8(offset, value);
        log_write(port, value, 8);
    }
    void out16(std::uint16_t port, std::uint16_t value);
    void out32(std::uint16_t port, std::uint32_t value);

    // ---- Cards ------------------------------------------------------------------------------
    // The new card's index, or -1.
    std::int32_t add_card(const PciIdentity& pci, std::uint8_t id_switch);
    // Card `index` brought up to the present, or null.
    SimCard* card(std::int32_t index)
    {
        if (index < 0 || static_cast<std::size_t>(index) >= cards_.size())
            return nullptr;
        SimCard& c = cards_[static_cast<std::size_t>(index)];
        c.controller.advance_to(now_us_);
        return &c;
    }
    // Timing of card `index`, or (index -1) of every card now and every card added later.
    void set_timing(std::int32_t index, const TimingSettings& timing);
    const TimingSettings& default_timing() const { return default_timing_; }
    // Lets time pass with the host idle; every controller catches up.
    void advance_ms(std::uint32_t ms);
    const std::vector<SimCard>& cards() const { return cards_; }

    // ---- Logs -----------------------------------------------------------------------------
    void set_logging(bool on);
    void set_sinks(const Sinks& sinks);
    std::uint32_t take_port_writes(std::uint16_t* ports, std::uint32_t* values,
                                   std::uint8_t* widths, std::uint32_t max);
    std::uint32_t take_port_reads(std::uint16_t* ports, std::uint32_t* values,
                                  std::uint8_t* widths, std::uint32_t max);

    OsStandin& os() { return os_; }
    Trace& trace() { return trace_; }
    // Why the machine has no card: "FILE:LINE: what is wrong" of the refused description
    // it was to be built from ("" for any other machine; reset() clears it).
    void set_refusal(const std::string& why) { refusal_ = why; }
    const std::string& refusal() const { return refusal_; }
    // The machine's time in microseconds since it was reset.
    std::uint64_t now_us() const { return now_us_; }

    // ---- Watcher ------------------------------------------------------------------------
    // Called on every step of the machine (port access, clock reading, time let pass),
    // under the machine's mutex, with the time already advanced: the front panel. Null
    // (the default) costs one test per step. KSIM_RESET keeps it.
    using StepWatcher = void (*)(Machine&);
    void set_step_watcher(StepWatcher watcher) { watcher_ = watcher; }

private:
    struct PortAccess {
        std::uint16_t port;
        std::uint8_t width;
        std::uint32_t value;
    };

    // Every access and clock reading takes time and ends a run of status reads.
    // In wall mode the host's own time is what passes.
    void tick(std::uint64_t us)
    {
        if (wall_)
            follow_wall();
        else
            now_us_ += us;
        spin_reads_ = 0;
        clock_view_ms_.store(clock_ms(), std::memory_order_relaxed);
        if (watcher_)
            watcher_(*this);
    }
    void follow_wall();
    Controller* controller_at(std::uint16_t port, std::uint32_t* offset)
    {
        if (port < kFirstIoBase)
            return nullptr;
        SimCard* c = card(static_cast<std::int32_t>((port - kFirstIoBase) / kCardWindow));
        if (c == nullptr)
            return nullptr;
        *offset = (port - kFirstIoBase) % kCardWindow;
        return &c->controller;
    }
    void log_write(std::uint16_t port, std::uint32_t value, std::uint8_t width)
    {
        if (logging_)
            push_write(port, value, width);
    }
    void log_read(std::uint16_t port, std::uint32_t value, std::uint8_t width)
    {
        if (logging_)
            push_read(port, value, width);
    }
    void push_write(std::uint16_t port, std::uint32_t value, std::uint8_t width);
    void push_read(std::uint16_t port, std::uint32_t value, std::uint8_t width);
    static std::uint32_t take_accesses(BoundedLog<PortAccess>& log, std::uint16_t* ports,
                                       std::uint32_t* values, std::uint8_t* widths,
                                       std::uint32_t max);

    // A host that reads one STATUS_REG over and over with nothing between waits for the
    // controller: rather than spend a microsecond per read, its time runs on to the
    // controller's next event (let_spinning_host_wait).
    void note_status_read(std::uint16_t port, std::uint32_t run_before, Controller& c)
    {
        constexpr std::uint32_t kSpinReads = 16;
        spin_reads_ = (port == spin_port_ ? run_before : 0) + 1;
        spin_port_ = port;
        if (spin_reads_ >= kSpinReads)
            let_spinning_host_wait(c);
    }
    void let_spinning_host_wait(Controller& c);

    std::uint64_t now_us_ = 0;
    std::uint32_t clock_offset_ms_ = 0;
    std::atomic<std::uint32_t> clock_view_ms_{0}; // clock_ms() after the last tick
    TimingSettings default_timing_;
    std::uint16_t spin_port_ = 0;   // the status register read over and over
    std::uint32_t spin_reads_ = 0;  // how often in a row, with nothing else between
    bool logging_ = true;
    StepWatcher watcher_ = nullptr;
    bool wall_ = false;
    double speed_ = 1.0;                                   // machine time per host time
    std::chrono::steady_clock::time_point wall_origin_;    // host time at...
    std::uint64_t wall_origin_us_ = 0;                     // ...this machine time
    bool ticker_running_ = false;
    Trace trace_;
    std::string refusal_;
    Sinks sinks_;
    std::vector<SimCard> cards_;
    PciConfigSpace pci_;
    OsStandin os_;
    BoundedLog<PortAccess> port_writes_;
    BoundedLog<PortAccess> port_reads_;
};

// The machine's gate and the machine itself (use with_machine()), made on first use and
// never destroyed: the library may still touch the machine while the process exits.
extern std::atomic<Machine*> the_machine;
extern std::atomic<MachineGate*> the_gate;
Machine& make_machine();
inline MachineGate& machine_gate()
{
    MachineGate* gate = the_gate.load(std::memory_order_acquire);
    if (gate == nullptr) {
        make_machine();
        gate = the_gate.load(std::memory_order_acquire);
    }
    return *gate;
}
inline Machine& machine_unlocked()
{
    Machine* vm = the_machine.load(std::memory_order_acquire);
    return vm != nullptr ? *vm : make_machine();
}

// Runs f(machine) with the machine's gate held and returns what f returns.
template <class F>
decltype(auto) with_machine(F&& f)
{
    MachineGate& gate = machine_gate();
    if (gate.enter_alone()) {
        struct Leave {
            MachineGate& gate;
            ~Leave() { gate.leave(); }
        } leave{gate};
        return f(machine_unlocked());
    }
    std::lock_guard<std::mutex> guard(gate.mutex());
    gate.admit();
    return f(machine_unlocked());
}

} // namespace korva::sim

#endif
