// window.cpp - the segments ahead of the path and their backward pass.
#include "planner/window.h"

#include <algorithm>
#include <cmath>

namespace korva3_planner {

void Window::push(const PathMove &move)
{
    if (finished_)
        return;
    builder_.push(move, made_);
    for (const Segment &s : made_)
        held_.push_back({s});
    end_ += made_.size();
    pass_due_ = pass_due_ || !made_.empty();
    made_.clear();
}

void Window::finish()
{
    if (finished_)
        return;
    builder_.finish(made_);
    for (const Segment &s : made_)
        held_.push_back({s});
    end_ += made_.size();
    made_.clear();
    finished_ = true;
    pass_due_ = true;
}

void Window::set_override(uint32_t percent)
{
    override_ = percent;
    top_override_ = std::max(top_override_, percent);
    pass_due_ = replan_all_ = true;
}

double Window::nominal(size_t k) const
{
    const Segment &s = segment(k);
    double feed = s.rapid ? s.feed : s.feed * override_ / 100.0;
    return std::min(s.cap, feed);
}

double Window::accel(size_t k, double top) const
{
    const Segment &s = segment(k);
    if (!s.arc)
        return s.accel;
    return arc_accel(s, std::min(top, s.rapid ? s.feed : s.feed * top_override_ / 100.0));
}

double Window::reach(size_t k, double from, double length, double limit) const
{
    // The largest v with v^2 <= from^2 + 2 length accel(max(v, from)): the right side
    // falls as v grows, so the two cross once (bisection, as far as `limit`).
    auto up = [&](double v) {
        return std::sqrt(from * from + 2 * length * accel(k, std::max(v, from)));
    };
    double lo = up(kHuge);
    if (!segment(k).arc || lo >= limit)
        return lo;
    if (up(limit) >= limit)
        return limit;
    double hi = std::min(limit, up(from));
    for (int i = 0; i < 24 && hi - lo > 1e-7 * hi; i++) {
        double mid = (lo + hi) / 2;
        (mid <= up(mid) ? lo : hi) = mid;
    }
    return lo;
}

double Window::max_entry(size_t k)
{
    pass();
    return held_[k - base_].max_entry_mm_s;
}

bool Window::fixed(size_t k)
{
    if (finished_ && k >= end())
        return true; // past the program's end: the machine stands there
    pass();
    return k < frontier_;
}

void Window::drop_before(size_t k)
{
    while (base_ < k && !held_.empty()) {
        held_.pop_front();
        base_++;
    }
}

// From the window's end (at rest, or where the machine stands anyway) back to the
// first segment whose value is unchanged (all of them when the override changed).
void Window::pass()
{
    if (!pass_due_)
        return;
    pass_due_ = false;
    const bool all = replan_all_;
    replan_all_ = false;
    double after = 0;    // highest entry speed of the segment after the one at hand
    bool fixed = finished_; // the one at hand no longer depends on the window's end
    size_t top_fixed = 0; // one past the highest fixed segment found
    for (size_t k = end_; k-- > base_ + 1;) {
        Held &h = held_[k - base_];
        const Segment &s = h.segment;
        double exit = s.stop_after ? 0 : after;
        double caps = std::min(s.junction, nominal(k));
        if (!segment(k - 1).stop_after)
            caps = std::min(caps, nominal(k - 1));
        double braking = reach(k, exit, s.length, caps);
        double max_entry = std::min(caps, braking);
        fixed = fixed || s.stop_after || braking >= caps;
        if (fixed && top_fixed == 0)
            top_fixed = k + 1;
        bool same = !all && h.max_entry_mm_s == max_entry;
        h.max_entry_mm_s = max_entry;
        if (same)
            break; // and so is every one before it
        after = max_entry;
    }
    frontier_ = all ? top_fixed : std::max(frontier_, top_fixed);
}

} // namespace korva3_planner
