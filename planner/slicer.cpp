// slicer.cpp - passes, profiles and sampling of the planned path.
#include "planner/slicer.h"

#include <algorithm>
#include <cmath>

#include "planner/build.h"

namespace korva3_planner {

namespace {
constexpr double kTimeEps = 1e-12; // s: a segment this close to its end is at its end
}

Slicer::Slicer(const std::vector<PathMove> &moves, const Limits &limits)
    : limits_(limits), segs_(build_segments(moves, limits)), max_entry_(segs_.size(), 0)
{
    if (segs_.empty()) {
        done_ = true;
        return;
    }
    enter(0, 0);
}

double Slicer::nominal(size_t k) const
{
    const Segment &s = segs_[k];
    double feed = s.rapid ? s.feed : s.feed * override_ / 100.0;
    return std::min(s.cap, feed);
}

// The highest entry speed of every segment from `from` to the section's end.
void Slicer::backward_pass(size_t from)
{
    size_t end = from;
    while (end < segs_.size() && !segs_[end].stop_after)
        end++;
    double after = 0; // highest entry speed of the segment after the one at hand
    for (size_t k = std::min(end, segs_.size() - 1) + 1; k-- > from;) {
        const Segment &s = segs_[k];
        double exit = s.stop_after ? 0 : after;
        double max_entry = std::min({s.junction, nominal(k),
                                std::sqrt(exit * exit + 2 * s.accel * s.length)});
        if (k > 0 && !segs_[k - 1].stop_after)
            max_entry = std::min(max_entry, nominal(k - 1));
        max_entry_[k] = max_entry;
        after = max_entry;
    }
}

// The exit speed of segment k entered at `entry` with `length` mm left: the highest the
// next segment takes, as far as acceleration reaches, and at least what braking from
// the entry leaves (an entry above the plan after the override was lowered).
double Slicer::exit_limit(size_t k, double entry, double length) const
{
    const Segment &s = segs_[k];
    if (s.stop_after)
        return 0;
    double up = std::sqrt(entry * entry + 2 * s.accel * length);
    double down = std::sqrt(std::max(0.0, entry * entry - 2 * s.accel * length));
    return std::max(down, std::min(max_entry_[k + 1], up));
}

// A new profile for the rest of the current segment, from `entry` where the path is.
void Slicer::plan_here(double entry)
{
    const Segment &s = segs_[k_];
    double left = std::max(0.0, s.length - s_base_);
    tau_ = 0;
    if (holding_)
        trap_ = make_braking(left, entry, s.accel);
    else
        trap_ = make_trapezoid(left, entry, exit_limit(k_, entry, left), nominal(k_), s.accel);
    rests_mid_ = holding_ && trap_.length < left - 1e-12;
}

void Slicer::enter(size_t k, double entry)
{
    k_ = k;
    s_base_ = 0;
    if (k == 0 || segs_[k - 1].stop_after)
        backward_pass(k);
    plan_here(entry);
}

// mm into the current segment, and the speed there.
double Slicer::path_now(double &speed) const
{
    double s;
    trap_.at(tau_, s, speed);
    return s_base_ + s;
}

Next Slicer::next(Slice &slice, uint32_t &action)
{
    const double period = slice_s(limits_);
    double left = period; // s of this slice not yet given to the path
    bool at_end = false;  // the slice ends at the end of segment k_
    for (;;) {
        if (done_ || held_) {
            if (left < period)
                break; // the slice that got here goes first
            return done_ ? Next::Done : Next::Held;
        }
        const Segment &s = segs_[k_];
        if (s.has_action) {
            at_end = true;
            if (left < period)
                break;
            action = s.action;
            if (k_ + 1 < segs_.size())
                enter(k_ + 1, 0);
            else
                done_ = true;
            return Next::Action;
        }
        double rest = trap_.duration() - tau_;
        if (left < rest - kTimeEps) {
            tau_ += left;
            left = 0;
            at_end = false;
            break;
        }
        left -= std::max(rest, 0.0);
        tau_ = trap_.duration();
        if (rests_mid_) { // a hold came to rest inside the segment
            s_base_ += trap_.length;
            trap_ = Trapezoid{};
            tau_ = 0;
            rests_mid_ = false;
            held_ = true;
            done_ = stopping_;
            at_end = false;
            continue;
        }
        at_end = true;
        if (k_ + 1 >= segs_.size() || (stopping_ && trap_.exit <= 0)) {
            done_ = true;
            continue;
        }
        enter(k_ + 1, s.stop_after ? 0 : trap_.exit);
        at_end = false; // at the start of the next: the same point
    }
    // Where the path is at the slice's end, rounded; a move's exact end as the program
    // rounds it.
    const Segment &s = segs_[k_];
    double speed;
    double along = path_now(speed);
    const PulsePoint target = at_end && s.exact_end
                                  ? s.end_pulses
                                  : to_pulses(s.point(at_end ? s.length : along), limits_.scale);
    for (int a = 0; a < 3; a++) {
        slice.pulses[a] = static_cast<int32_t>(target[a] - at_[a]);
        at_[a] = target[a];
    }
    const Segment &m = s.has_action && k_ > 0 ? segs_[k_ - 1] : s; // the motion's segment
    slice.line = m.line;
    slice.rapid = m.rapid;
    slice.speed_mm_s = speed;
    slice.feed_mm_s = m.rapid ? m.feed : m.feed * override_ / 100.0;
    return Next::Slice;
}

double Slicer::skip()
{
    if (done_ || held_ || holding_ || segs_[k_].has_action)
        return 0;
    const double period = slice_s(limits_);
    const double n = std::floor((trap_.duration() - tau_) / period) - 1;
    if (!(n >= 2))
        return 0;
    tau_ += n * period;
    double speed;
    at_ = to_pulses(segs_[k_].point(path_now(speed)), limits_.scale);
    return n;
}

void Slicer::set_override(uint32_t percent)
{
    percent = std::min(1000u, std::max(1u, percent));
    if (percent == override_ || done_)
        return;
    override_ = percent;
    double speed, along = path_now(speed);
    if (k_ + 1 < segs_.size())
        backward_pass(k_ + 1);
    s_base_ = along;
    if (!held_)
        plan_here(speed);
}

void Slicer::hold()
{
    if (holding_ || done_)
        return;
    holding_ = true;
    double speed;
    s_base_ = path_now(speed);
    plan_here(speed);
}

void Slicer::resume()
{
    if (!holding_ || stopping_ || done_)
        return;
    holding_ = false;
    double speed;
    s_base_ = path_now(speed);
    held_ = false;
    plan_here(speed);
}

void Slicer::stop()
{
    if (done_)
        return;
    stopping_ = true;
    hold();
    if (held_)
        done_ = true;
}

} // namespace korva3_planner
