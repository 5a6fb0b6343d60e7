// watchdog.cpp - the time limit's second thread.
#include "run/watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "korva3.h"
#include "machine/machine.h"
#include "run/exit_codes.h"

namespace korva3_tool {

Watchdog::Watchdog(std::string job_name, uint32_t start_ms, uint32_t limit_ms)
    : job_(std::move(job_name)), start_ms_(start_ms), limit_ms_(limit_ms),
      thread_([this] { watch(); })
{
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Watchdog::watch()
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point past_since{};
    bool past = false;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        const auto wait = fired_ ? std::chrono::milliseconds(kGiveUpHostMs)
                                 : std::chrono::milliseconds(kLookEveryHostMs);
        if (wake_.wait_for(lock, wait, [this] { return done_; }))
            return;
        if (fired_) {
            // The stop did not free the call: nothing but ending the process will.
            std::fprintf(stderr, "%s: a library call still blocks after the emergency stop "
                                 "at the time limit (%u ms); korva3 ends\n",
                         job_.c_str(), static_cast<unsigned>(limit_ms_));
            std::fflush(nullptr);
            std::_Exit(EXIT_JOB_FAILED);
        }
        if (machine::clock_view_ms() - start_ms_ <= limit_ms_) {
            past = false;
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (!past) {
            past = true;
            past_since = now;
        }
        if (now - past_since < std::chrono::milliseconds(kGraceHostMs))
            continue;
        fired_ = true;
        for (uint32_t card = 0; card < 16; card++)
            KORVA3_EMG_STOP(card); // card numbers never bound touch nothing
    }
}

} // namespace korva3_tool
