// watchdog.h - ends a job that runs past its time limit inside a library call that
// blocks (KORVA3_WAIT_X on an axis in constant-speed motion, a path on a card that
// holds it up), which the runner's own checks between steps cannot reach.
//
// A second thread watches the machine's clock. Once the job is past its limit and has
// stayed there for kGraceHostMs of host time (the runner fails a step at the limit by
// itself much sooner), the watchdog stops every card with KORVA3_EMG_STOP, the one call
// the library allows from a second thread: the blocked call returns and the runner
// fails the job. A call that not even that ends (a card that never takes a byte again)
// ends the process: the reason on standard error, exit code 1.
#ifndef KORVA3_TOOL_WATCHDOG_H
#define KORVA3_TOOL_WATCHDOG_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace korva3_tool {

class Watchdog {
public:
    static constexpr uint32_t kGraceHostMs = 250;      // past the limit before it stops
    static constexpr uint32_t kGiveUpHostMs = 5000;    // after the stop, before it exits
    static constexpr uint32_t kLookEveryHostMs = 10;

    // Watches from now; the job began at start_ms of the machine's clock.
    Watchdog(std::string job_name, uint32_t start_ms, uint32_t limit_ms);
    ~Watchdog(); // the job has ended: the thread ends too

    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    // True once it has stopped the cards.
    bool fired() const { return fired_.load(); }

private:
    void watch();

    std::string job_;
    uint32_t start_ms_;
    uint32_t limit_ms_;
    std::atomic<bool> fired_{false};
    bool done_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

} // namespace korva3_tool

#endif
