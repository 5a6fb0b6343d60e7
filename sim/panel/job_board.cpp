// job_board.cpp - the running job's description, state and the operator's requests.
#include "job_board.h"
#include "command_box.h"

#include <cstring>

namespace korva::sim::panel {

JobBoard& job_board()
{
    static JobBoard* b = new JobBoard;
    return *b;
}

bool JobBoard::describe(const char* description, std::uint32_t controls)
{
    const std::size_t n = description ? std::strlen(description) : 0;
    if (n > kMaxJobDescription)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    override_.store(100, std::memory_order_relaxed);
    flags_.store(0, std::memory_order_relaxed);
    controls_.store(description ? controls & (kJobOverride | kJobHold | kJobStop | kJobStart | kJobCommands)
                                : 0,
                    std::memory_order_release);
    description_.assign(description ? description : "", n);
    state_.clear();
    state_new_ = true;
    ++generation_;
    command_box().offer(description != nullptr && (controls & kJobCommands) != 0);
    return true;
}

bool JobBoard::publish(const char* state)
{
    if (state == nullptr || std::strlen(state) > kMaxJobState)
        return false;
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    state_ = state;
    state_new_ = true;
    return true;
}

std::uint32_t JobBoard::requests(std::uint32_t* percent) const
{
    if (percent)
        *percent = override_.load(std::memory_order_relaxed);
    return flags_.load(std::memory_order_acquire);
}

bool JobBoard::request(const std::string& what, std::uint32_t percent, std::string& why)
{
    const std::uint32_t offered = controls_.load(std::memory_order_acquire);
    const std::uint32_t needs = what == "override" ? kJobOverride
                                : what == "hold" || what == "resume" ? kJobHold
                                : what == "cycle_start" ? kJobStart
                                : kJobStop;
    if ((offered & needs) == 0) {
        why = offered == 0 ? what + ": no running program takes the operator's controls"
                           : what + ": the running program does not take it";
        return false;
    }
    if (what == "override") {
        if (percent < 1 || percent > 1000) {
            why = "override: percent 1..1000";
            return false;
        }
        override_.store(percent, std::memory_order_relaxed);
    } else if (what == "hold") {
        flags_.fetch_or(kRequestHold, std::memory_order_acq_rel);
    } else if (what == "resume") {
        flags_.fetch_and(~kRequestHold, std::memory_order_acq_rel);
    } else if (what == "cycle_start") {
        flags_.fetch_or(kRequestStart, std::memory_order_acq_rel);
    } else {
        flags_.fetch_or(kRequestStop, std::memory_order_acq_rel);
    }
    return true;
}

bool JobBoard::take(std::uint64_t& generation, std::string& description, std::string& state,
                    std::uint32_t& controls)
{
    std::lock_guard<std::mutex> lock(mutex_);
    bool changed = false;
    if (generation != generation_) {
        generation = generation_;
        description = description_;
        changed = true;
    }
    if (state_new_) {
        state = state_;
        state_new_ = false;
        changed = true;
    }
    const std::uint32_t now = controls_.load(std::memory_order_relaxed);
    changed = changed || now != controls;
    controls = now;
    return changed;
}

} // namespace korva::sim::panel
