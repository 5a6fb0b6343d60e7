// interrupt_common.cpp - the cards to stop, kept where a signal thread may read them.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "run/interrupt.h"
#include "korva3.h"

namespace korva3_tool::interrupt {

namespace {
std::atomic<uint32_t> tracked{0}; // bit n: card number n
std::atomic<bool> ending{false};
std::atomic<bool> parked{false}; // the job's thread waits for the handler's exit
std::atomic<bool (*)()> panel_estop{nullptr};
std::atomic<int> job_end_code{-1};
std::mutex undo_mutex;
std::function<void()> undo_at_exit;
std::atomic<bool> keep_after_estop{false}; // the panel's emergency stop ends the job, not the tool
std::atomic<bool> panel_stopped{false};    // ... and it was pressed

// How often the panel's emergency stop is looked at (host time).
constexpr auto kEstopLookEvery = std::chrono::milliseconds(5);
} // namespace

void track_card(uint32_t card)
{
    if (card < 16)
        tracked.fetch_or(1u << card);
}

uint32_t stop_cards()
{
    uint32_t cards = tracked.load();
    for (uint32_t n = 0; n < 16; n++)
        if (cards & (1u << n))
            KORVA3_EMG_STOP(n);
    return cards;
}

uint32_t stop_for_exit()
{
    ending.store(true);
    uint32_t cards = stop_cards();
    // The job's thread may be sending the card something right now (a job's next step, a
    // streamed slice): let it see exiting() and park, bounded, then stop once more, so
    // nothing it sent after the first stop is left for the card to run after the exit.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (!parked.load() && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return cards | stop_cards();
}

std::string stopped_message(uint32_t cards)
{
    if (cards == 0)
        return "\nkorva3: interrupted (no card was registered)\n";
    std::string list;
    int count = 0;
    for (uint32_t n = 0; n < 16; n++)
        if (cards & (1u << n)) {
            list += (count++ ? ", " : "") + std::to_string(n);
        }
    return "\nkorva3: interrupted: emergency stop on card" + std::string(count > 1 ? "s " : " ") +
           list + "\n";
}

void watch_panel_estop(bool (*pressed)(), bool keep_running)
{
    keep_after_estop.store(keep_running);
    panel_estop.store(pressed);
    std::thread([pressed, keep_running] {
        while (!pressed() || job_end_code.load() >= 0) // after the end: nothing to stop
            std::this_thread::sleep_for(kEstopLookEvery);
        if (keep_running) { // the job says how it ended
            panel_stopped.store(true);
            stop_cards();
            // As for an exit: the job's thread may be sending the next step right now; once
            // it has seen the stop and sends nothing more, stop once more.
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
            while (!parked.load() && std::chrono::steady_clock::now() < give_up)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            stop_cards();
            return;
        }
        stop_for_exit();
        const std::string msg = "\nkorva3: emergency stop (panel)\n";
        std::fwrite(msg.data(), 1, msg.size(), stderr);
        std::fflush(nullptr);
        run_at_exit();
        std::_Exit(EXIT_EMERGENCY);
    }).detach();
}

bool stopped_by_panel()
{
    if (panel_stopped.load())
        return true;
    bool (*pressed)() = panel_estop.load();
    return keep_after_estop.load() && pressed != nullptr && pressed();
}

void sends_no_more() { parked.store(true); }

void at_exit(std::function<void()> undo)
{
    std::lock_guard<std::mutex> lock(undo_mutex);
    undo_at_exit = std::move(undo);
}

void run_at_exit()
{
    std::function<void()> undo;
    {
        std::lock_guard<std::mutex> lock(undo_mutex);
        undo.swap(undo_at_exit);
    }
    if (undo)
        undo();
}

void job_ended(int code) { job_end_code.store(code); }

int ended_code() { return job_end_code.load(); }

bool exiting()
{
    if (ending.load())
        return true;
    bool (*pressed)() = panel_estop.load();
    return !keep_after_estop.load() && pressed != nullptr && pressed();
}

void wait_for_exit()
{
    parked.store(true);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

} // namespace korva3_tool::interrupt
