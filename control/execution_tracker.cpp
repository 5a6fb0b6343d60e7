// execution_tracker.cpp - the slice the card runs, from the time that passed.
#include "control/execution_tracker.h"

#include <algorithm>

namespace korva3_control {

void ExecutionTracker::reset(uint32_t now_ms)
{
    sent_ = executed_ = 0;
    carry_us_ = 0;
    last_ms_ = now_ms;
}

void ExecutionTracker::sent(const SentSlice &s, uint32_t now_ms)
{
    if (executed_ == sent_) { // the card was idle: it starts this slice now
        last_ms_ = now_ms;
        carry_us_ = 0;
        executed_ = sent_ + 1;
    }
    ring_[sent_ % kRemembered] = s;
    sent_++;
}

void ExecutionTracker::look(uint32_t now_ms, bool idle)
{
    if (idle) {
        executed_ = sent_;
        carry_us_ = 0;
        last_ms_ = now_ms;
        return;
    }
    carry_us_ += 1000.0 * static_cast<uint32_t>(now_ms - last_ms_);
    last_ms_ = now_ms;
    const uint64_t whole = static_cast<uint64_t>(carry_us_ / slice_us_);
    carry_us_ -= static_cast<double>(whole) * slice_us_;
    executed_ = std::min(sent_, executed_ + whole);
    if (executed_ == sent_)
        carry_us_ = 0;
}

const SentSlice *ExecutionTracker::executing() const
{
    if (executed_ == 0)
        return nullptr;
    const uint64_t i = std::max(executed_, sent_ > kRemembered ? sent_ - kRemembered + 1 : 1) - 1;
    return &ring_[i % kRemembered];
}

} // namespace korva3_control
