// progress_table.cpp - the plan's time along a program's steps, thinned as it grows.
#include "control/progress_table.h"

#include <algorithm>

namespace korva3_control {

void ProgressTable::mark(uint64_t step, double ms)
{
    if (step < next_)
        return;
    if (marks_.size() == kMaxMarks) { // keep every other mark; take half as many
        std::size_t kept = 0;
        for (std::size_t i = 0; i < marks_.size(); i += 2)
            marks_[kept++] = marks_[i];
        marks_.resize(kept);
        every_ *= 2;
    }
    marks_.push_back({step, ms});
    next_ = step + every_;
}

double ProgressTable::ms_at(uint64_t step) const
{
    auto after = std::upper_bound(marks_.begin(), marks_.end(), step,
                                  [](uint64_t s, const Mark &m) { return s < m.step; });
    if (after == marks_.begin())
        return 0;
    const Mark &before = *(after - 1);
    if (after == marks_.end() || after->step == before.step)
        return before.ms;
    const double part = double(step - before.step) / double(after->step - before.step);
    return before.ms + part * (after->ms - before.ms);
}

} // namespace korva3_control
