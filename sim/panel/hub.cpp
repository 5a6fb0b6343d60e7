// hub.cpp - snapshots from the machine to the panel, commands from the panel to the
// machine; the machine's side never waits.
#include "hub.h"

#include <algorithm>

#include "vm.h"

namespace korva::sim::panel {

Hub& hub()
{
    static Hub* h = new Hub;
    return *h;
}

void Hub::on_step(Machine& vm)
{
    const std::uint64_t now = vm.now_us();
    if (now < last_virtual_us_) { // the machine was reset: its paths start again
        ++epoch_;
        for (auto& p : points_)
            p.clear();
        last_point_.clear();
        estops_.store(0, std::memory_order_release); // new cards: none is pressed
    }
    last_virtual_us_ = now;
    virtual_us_.store(now, std::memory_order_relaxed);
    if (!watching_.load(std::memory_order_relaxed))
        return;
    if (commands_waiting_.load(std::memory_order_acquire))
        apply_commands(vm);
    const auto wall = std::chrono::steady_clock::now();
    if (wall >= next_sample_) {
        next_sample_ = wall + kSampleEvery;
        sample(vm);
    }
    if (wall >= next_publish_) {
        next_publish_ = wall + kPublishEvery;
        publish(vm);
    }
}

// A path point for every card whose XY position changed since its last point.
void Hub::sample(Machine& vm)
{
    const std::size_t n = vm.cards().size();
    points_.resize(n);
    if (last_point_.size() > n)
        last_point_.resize(n); // cards gone: their next points are new paths
    for (std::size_t i = 0; i < n; ++i) {
        const Controller& c = vm.card(static_cast<std::int32_t>(i))->controller;
        const PathPoint p{c.position(1), c.position(2)};
        if (i < last_point_.size() && last_point_[i].x == p.x && last_point_[i].y == p.y)
            continue;
        auto& pending = points_[i];
        if (pending.size() < kMaxPendingPoints)
            pending.push_back(p);
        else
            pending.back() = p;
        if (i >= last_point_.size())
            last_point_.resize(i + 1);
        last_point_[i] = p;
    }
}

void Hub::publish(Machine& vm)
{
    std::unique_lock<std::mutex> lock(shared_mutex_, std::try_to_lock);
    if (!lock.owns_lock())
        return; // the server is reading: publish at the next step
    const std::size_t n = vm.cards().size();
    shared_.clock_ms = vm.clock_ms();
    if (shared_.epoch != epoch_) {
        shared_.epoch = epoch_;
        shared_.new_points.clear();
    }
    shared_.cards.resize(n);
    shared_.new_points.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const SimCard& card = *vm.card(static_cast<std::int32_t>(i));
        CardSnapshot& s = shared_.cards[i];
        s.bus = card.pci.bus;
        s.device = card.pci.device;
        s.io_base = card.io_base;
        s.view = card.controller.view();
        s.id_switch = s.view.id_switch;
        if (i < points_.size()) {
            auto& to = shared_.new_points[i];
            if (to.size() + points_[i].size() <= kMaxPendingPoints)
                to.insert(to.end(), points_[i].begin(), points_[i].end());
            points_[i].clear();
        }
    }
    shared_valid_ = true;
}

void Hub::apply_commands(Machine& vm)
{
    std::vector<Command> todo;
    {
        std::unique_lock<std::mutex> lock(command_mutex_, std::try_to_lock);
        if (!lock.owns_lock())
            return; // the server is posting: take them at the next step
        todo.swap(commands_);
        commands_waiting_.store(false, std::memory_order_relaxed);
    }
    for (const Command& cmd : todo) {
        SimCard* card = vm.card(cmd.card);
        if (card == nullptr)
            continue;
        Controller& c = card->controller;
        switch (cmd.kind) {
        case Command::Inputs: {
            const std::uint32_t now = c.view().inputs;
            c.set_inputs(static_cast<std::uint8_t>((now & ~cmd.a) | (cmd.b & cmd.a)));
            break;
        }
        case Command::HoldSwitch:
            c.hold_switch(cmd.a, static_cast<HandSwitch>(cmd.b), cmd.c != 0);
            break;
        case Command::ResetController:
            c.reset_by_hand();
            break;
        case Command::Fault:
            c.fault(cmd.a, cmd.b);
            break;
        case Command::Estop:
            c.latch_estop(cmd.a != 0);
            break;
        }
    }
}

bool Hub::take(Snapshot& out)
{
    std::lock_guard<std::mutex> lock(shared_mutex_);
    if (!shared_valid_)
        return false;
    out.clock_ms = shared_.clock_ms;
    out.epoch = shared_.epoch;
    out.cards = shared_.cards;
    out.new_points.swap(shared_.new_points);
    shared_.new_points.clear();
    return true;
}

bool Hub::post(const Command& command)
{
    std::lock_guard<std::mutex> lock(command_mutex_);
    if (commands_.size() >= kMaxPendingCommands) {
        const bool reset_waits = std::any_of(commands_.begin(), commands_.end(), [&](const Command& c) {
            return c.kind == Command::ResetController && c.card == command.card;
        });
        if (command.kind != Command::ResetController || reset_waits)
            return command.kind == Command::ResetController; // that reset is coming
    }
    commands_.push_back(command);
    commands_waiting_.store(true, std::memory_order_release);
    return true;
}

void Hub::set_estop(std::int32_t index, bool pressed)
{
    if (index < 0 || index >= 64)
        return;
    const std::uint64_t bit = std::uint64_t{1} << index;
    if (pressed)
        estops_.fetch_or(bit, std::memory_order_acq_rel);
    else
        estops_.fetch_and(~bit, std::memory_order_acq_rel);
    post(Command{Command::Estop, index, pressed ? 1u : 0u});
}

} // namespace korva::sim::panel
