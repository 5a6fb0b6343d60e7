// hub.h - where the machine and the panel's server meet. The machine's thread publishes
// snapshots and takes commands, each under a try-lock, so it never waits for the server;
// the server's threads read snapshots and post commands, and may wait.
#ifndef KORVA_SIM_PANEL_HUB_H
#define KORVA_SIM_PANEL_HUB_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "controller_view.h"

namespace korva::sim {
class Machine;
}

namespace korva::sim::panel {

// A card as the panel shows it.
struct CardSnapshot {
    std::uint32_t bus, device, id_switch, io_base;
    ControllerView view;
};

// One point of a card's XY path (commanded positions, pulses).
struct PathPoint {
    std::int32_t x, y;
};

struct Snapshot {
    std::uint32_t clock_ms = 0;      // the machine's clock
    std::uint32_t epoch = 0;         // counts machine resets: the paths start again
    std::vector<CardSnapshot> cards;
    std::vector<std::vector<PathPoint>> new_points; // per card, since the last take
};

// What a person did on the panel, for the machine to apply.
struct Command {
    enum Kind { Inputs, HoldSwitch, ResetController, Fault, Estop } kind;
    std::int32_t card;
    std::uint32_t a = 0, b = 0, c = 0; // Inputs: mask, value; HoldSwitch: axis, HandSwitch,
                                       // held; Fault: kind, n; Estop: pressed (1) or let go
};

// Snapshots are published at most this often, and path points taken at most this often
// (wall clock).
inline constexpr std::chrono::milliseconds kPublishEvery{30};
inline constexpr std::chrono::milliseconds kSampleEvery{2};
// Path points waiting for the server, per card, at most (later ones replace the last).
inline constexpr std::size_t kMaxPendingPoints = 8192;
// Commands waiting for the machine's next step, at most (a program that does not step the
// machine takes none): beyond, refused; a controller's reset is taken once per card.
inline constexpr std::size_t kMaxPendingCommands = 1024;

class Hub {
public:
    // ---- The machine's thread (under the machine's mutex) -----------------------------------
    void on_step(Machine& vm);

    // ---- The server's threads -----------------------------------------------------------------
    // The latest snapshot, with the path points published since the last take (moved out).
    // False before the first publication.
    bool take(Snapshot& out);
    // False when refused (kMaxPendingCommands wait).
    bool post(const Command& command);
    // The emergency stop of card `index` (0..63) pressed or let go on the panel: noted at
    // once (estop_pressed) and latched in the card at the machine's next step.
    void set_estop(std::int32_t index, bool pressed);
    // Any thread, never entering the machine: card `index`'s emergency stop is pressed.
    bool estop_pressed(std::int32_t index) const
    {
        return index >= 0 && index < 64 &&
               (estops_.load(std::memory_order_acquire) >> index & 1u) != 0;
    }
    // Turns the watching on or off (snapshots are built only while on).
    void set_watching(bool on) { watching_.store(on, std::memory_order_relaxed); }

    // Virtual time at the machine's last step (for the pace).
    std::uint64_t virtual_us() const { return virtual_us_.load(std::memory_order_relaxed); }

private:
    void sample(Machine& vm);
    void publish(Machine& vm);
    void apply_commands(Machine& vm);

    // Machine side only.
    std::chrono::steady_clock::time_point next_sample_{}, next_publish_{};
    std::vector<std::vector<PathPoint>> points_; // taken, not yet published
    std::vector<PathPoint> last_point_;
    std::uint64_t last_virtual_us_ = 0;
    std::uint32_t epoch_ = 0;

    std::atomic<bool> watching_{false};
    std::atomic<std::uint64_t> virtual_us_{0};
    std::atomic<std::uint64_t> estops_{0}; // bit n: card n's emergency stop pressed

    std::mutex shared_mutex_; // guards shared_ and shared_valid_
    Snapshot shared_;
    bool shared_valid_ = false;

    std::mutex command_mutex_; // guards commands_
    std::vector<Command> commands_;
    std::atomic<bool> commands_waiting_{false};
};

// The one hub (never destroyed: the machine may step while the process exits).
Hub& hub();

} // namespace korva::sim::panel

#endif
