// control.cpp - turning the panel and the pace on and off, and the pace itself.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "hub.h"
#include "panel.h"
#include "server.h"
#include "vm.h"

namespace korva::sim::panel {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex& control_mutex()
{
    static std::mutex* m = new std::mutex;
    return *m;
}

// Guarded by control_mutex(). Made on first use: a description's [panel] starts the
// panel while the library loads, before this file's globals would be constructed.
std::string& current_url()
{
    static std::string* url = new std::string;
    return *url;
}
bool running = false;

std::atomic<std::uint32_t> pace_percent{0};

// The panel stops before the objects its requests use are destroyed at exit (those made
// before the first start: the hook runs before their destructors).
void stop_at_exit() { stop(); }

// The pace's reference point: wall time and virtual time that belong together.
std::mutex pace_mutex;
bool anchored = false;
Clock::time_point anchor_wall;
std::uint64_t anchor_virtual_us = 0;

void on_step(Machine& vm) { hub().on_step(vm); }

// The machine calls the hub on every step while the panel or the pace is on.
void update_watcher()
{
    const bool needed = running || pace_percent.load() != 0;
    hub().set_watching(running);
    with_machine([&](Machine& vm) { vm.set_step_watcher(needed ? &on_step : nullptr); });
}

// Virtual time ahead of the wall clock by more than this is waited for; behind it by
// more than kCatchUpLimit (the program was busy elsewhere) is forgiven, not raced.
constexpr auto kSlack = std::chrono::milliseconds(1);
constexpr auto kCatchUpLimit = std::chrono::milliseconds(200);

} // namespace

std::int32_t start(std::uint32_t port, bool announce, std::string* error)
{
    std::lock_guard<std::mutex> lock(control_mutex());
    std::string why;
    std::int32_t bound = -1;
    if (running) {
        const auto colon = current_url().rfind(':');
        bound = std::atoi(current_url().c_str() + colon + 1);
    } else {
        bound = server_start(port, current_url(), why);
        running = bound >= 0;
        static bool hooked = false;
        if (running && !hooked)
            hooked = std::atexit(stop_at_exit) == 0;
        update_watcher();
    }
    if (bound < 0) {
        if (error)
            *error = why;
        if (announce)
            std::fprintf(stderr, "korva32sim: no panel: %s\n", why.c_str());
    } else if (announce) {
        std::fprintf(stderr, "korva32sim: panel at %s\n", current_url().c_str());
    }
    return bound;
}

void stop()
{
    std::lock_guard<std::mutex> lock(control_mutex());
    if (!running)
        return;
    server_stop();
    running = false;
    current_url().clear();
    update_watcher();
}

std::string url()
{
    std::lock_guard<std::mutex> lock(control_mutex());
    return current_url();
}

bool available() { return server_available(); }

void set_pace(std::uint32_t percent)
{
    std::lock_guard<std::mutex> lock(control_mutex());
    {
        std::lock_guard<std::mutex> pace_lock(pace_mutex);
        anchored = false;
    }
    pace_percent.store(percent);
    update_watcher();
}

void pace()
{
    const std::uint32_t percent = pace_percent.load(std::memory_order_relaxed);
    if (percent == 0)
        return;
    // A machine on the wall clock follows it already (its time runs on while the program
    // waits, so a pace of its own would recede for ever): only a host that has run it
    // ahead waits, until the wall clock is there.
    const std::int64_t lead_us = with_machine([](Machine& vm) { return vm.wall_lead_us(); });
    if (lead_us >= 0) {
        if (std::chrono::microseconds(lead_us) > kSlack)
            std::this_thread::sleep_for(std::chrono::microseconds(lead_us));
        return;
    }
    const std::uint64_t v = hub().virtual_us();
    const auto now = Clock::now();
    Clock::time_point due;
    {
        std::lock_guard<std::mutex> lock(pace_mutex);
        if (!anchored || v < anchor_virtual_us) { // first step, or the machine was reset
            anchored = true;
            anchor_wall = now;
            anchor_virtual_us = v;
            return;
        }
        const auto after = std::chrono::microseconds((v - anchor_virtual_us) * 100 / percent);
        due = anchor_wall + std::chrono::duration_cast<Clock::duration>(after);
        if (now > due + kCatchUpLimit) {
            anchor_wall = now;
            anchor_virtual_us = v;
            return;
        }
    }
    if (due > now + kSlack)
        std::this_thread::sleep_until(due);
}

void advance_ms(std::uint32_t ms)
{
    if (pace_percent.load(std::memory_order_relaxed) == 0) {
        with_machine([&](Machine& vm) { vm.advance_ms(ms); });
        return;
    }
    // In steps of a few milliseconds, each waited for, with the machine free between.
    constexpr std::uint32_t kStepMs = 5;
    while (ms > 0) {
        const std::uint32_t step = ms < kStepMs ? ms : kStepMs;
        with_machine([&](Machine& vm) { vm.advance_ms(step); });
        pace();
        ms -= step;
    }
}

} // namespace korva::sim::panel
