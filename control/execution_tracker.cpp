// execution_tracker.cpp - the slice the card runs, from the time that passed.
#include "control/execution_tracker.h"

#include <algorithm>

namespace korva3_control {

void ExecutionTracker::reset(uint32_t now_ms)
{
    sent_ = begun_ = 0;
    base_ms_ = now_ms;
    began_us_ = -1e18;
}

bool ExecutionTracker::running(uint32_t now_ms) const
{
    const double now_us = 1000.0 * static_cast<uint32_t>(now_ms - base_ms_);
    return begun_ > 0 && now_us - began_us_ < slice_us_;
}

void ExecutionTracker::sent(const SentSlice &s, uint32_t now_ms)
{
    ring_[sent_ % kRemembered] = s;
    look(now_ms, false);
    if (begun_ == sent_ && !running(now_ms)) { // the card stood: it begins this one now
        begun_ = sent_ + 1;
        began_us_ = 1000.0 * static_cast<uint32_t>(now_ms - base_ms_);
    }
    sent_++;
}

void ExecutionTracker::look(uint32_t now_ms, bool idle)
{
    const double now_us = 1000.0 * static_cast<uint32_t>(now_ms - base_ms_);
    if (idle) { // the card stands with an empty queue: it has run every slice sent
        begun_ = sent_;
        began_us_ = std::min(began_us_, now_us - slice_us_);
        return;
    }
    // Back to back while the queue holds any.
    if (begun_ == 0 || begun_ >= sent_)
        return;
    const double periods = (now_us - began_us_) / slice_us_;
    if (periods < 1)
        return;
    const uint64_t more = std::min<uint64_t>(sent_ - begun_, static_cast<uint64_t>(periods));
    begun_ += more;
    began_us_ += static_cast<double>(more) * slice_us_;
}

const SentSlice *ExecutionTracker::executing() const
{
    if (begun_ == 0)
        return nullptr;
    const uint64_t i = std::max(begun_, sent_ > kRemembered ? sent_ - kRemembered + 1 : 1) - 1;
    return &ring_[i % kRemembered];
}

} // namespace korva3_control
