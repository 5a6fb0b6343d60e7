// slicer.cpp - profiles and sampling of the planned path, as its moves come.
#include "planner/slicer.h"

#include <algorithm>
#include <cmath>

namespace korva3_planner {

namespace {
constexpr double kTimeEps = 1e-12; // s: a segment this close to its end is at its end
}

Slicer::Slicer(const Limits &limits)
    : limits_(limits), period_s_(slice_s(limits)), window_(limits)
{
}

Slicer::Slicer(const std::vector<PathMove> &moves, const Limits &limits) : Slicer(limits)
{
    for (const PathMove &m : moves)
        window_.push(m);
    finish();
    start(); // the path stands on its first segment before the first slice
}

void Slicer::push(const PathMove &move)
{
    window_.push(move);
    if (ahead() >= want_)
        filling_ = false;
}

void Slicer::finish()
{
    window_.finish();
    filling_ = false;
}

bool Slicer::wants_more() const
{
    return filling_ && !window_.finished() && !c_.done;
}

// Puts the path on its first segment once that segment's plan can be made.
bool Slicer::start()
{
    if (started_)
        return true;
    if (window_.end() == 0) {
        if (!window_.finished())
            return false;
        started_ = c_.done = true; // no motion at all
        return true;
    }
    if (!may_plan(0, ahead()))
        return false;
    started_ = true;
    enter(0, 0);
    return true;
}

// Whether segment k's profile is what the whole program gives: its exit speed no longer
// depends on the window's end (or a hold brakes whatever comes).
bool Slicer::can_plan(size_t k)
{
    return holding_ || window_.segment(k).stop_after || window_.fixed(k + 1);
}

// Whether segment k may be planned now: exactly, or with the plan to rest at the
// window's end when the window is full (`ahead_at_call`: segments ahead when next()
// was called).
bool Slicer::may_plan(size_t k, size_t ahead_at_call)
{
    if (can_plan(k)) {
        capped_ = false;
        return true;
    }
    if (ahead_at_call >= kMaxWindowSegments ||
        (capped_ && ahead_at_call >= kMaxWindowSegments / 2)) {
        capped_ = true;
        return true;
    }
    return false;
}

// What comes after the path's segment: the next one, if it may be planned now; the
// program's end; or more moves first.
Slicer::After Slicer::what_follows(size_t ahead_at_call)
{
    if (window_.has(c_.k + 1))
        return may_plan(c_.k + 1, ahead_at_call) ? After::Enter : After::Wait;
    return window_.finished() ? After::End : After::Wait;
}

Next Slicer::need_more(size_t ahead_at_call)
{
    filling_ = true;
    want_ = std::min(kMaxWindowSegments,
                     std::max(want_, 2 * ahead_at_call + kFirstHorizonSegments));
    return Next::NeedMore;
}

// The exit speed of segment k entered at `entry` with `length` mm left: the highest the
// next segment takes, as far as acceleration reaches, and at least what braking from
// the entry leaves (an entry above the plan after the override was lowered).
double Slicer::exit_limit(size_t k, double entry, double length)
{
    const Segment &s = window_.segment(k);
    if (s.stop_after)
        return 0;
    double next = window_.has(k + 1) ? window_.max_entry(k + 1) : 0; // past it: at rest
    double up = window_.reach(k, entry, length, next);
    double down = std::sqrt(std::max(0.0, entry * entry - 2 * window_.accel(k, entry) * length));
    return std::max(down, std::min(next, up));
}

// The fastest profile over the current segment's last `left` mm from `entry` to `exit`
// mm/s, at the acceleration its turn leaves at the highest speed on it: that at the
// peak, else (where the peak's would not reach the exit) no higher than entry and exit.
Trapezoid Slicer::profile(double left, double entry, double exit) const
{
    const size_t k = c_.k;
    const double ends = std::max(entry, exit), nominal = window_.nominal(k);
    Trapezoid t = make_trapezoid(left, entry, exit, nominal, window_.accel(k, ends));
    if (t.peak <= ends)
        return t;
    Trapezoid p = make_trapezoid(left, entry, exit, nominal, window_.accel(k, t.peak));
    if (p.accel <= window_.accel(k, p.peak) * (1 + 1e-12))
        return p;
    return make_trapezoid(left, entry, exit, ends, window_.accel(k, ends));
}

// A new profile for the rest of the current segment, from `entry` where the path is.
void Slicer::plan_here(double entry)
{
    const Segment &s = *c_.seg;
    double left = std::max(0.0, s.length - c_.s_base);
    c_.tau = 0;
    if (s.has_action)
        c_.trap = Trapezoid{}; // the machine stands at a Stop: no motion, speed 0
    else if (holding_)
        c_.trap = make_braking(left, entry, window_.accel(c_.k, entry));
    else
        c_.trap = profile(left, entry, exit_limit(c_.k, entry, left));
    c_.rests_mid = holding_ && c_.trap.length < left - 1e-12;
}

// The profile planned again from where the path is and its speed there.
void Slicer::replan_here()
{
    double speed;
    c_.s_base = path_now(speed);
    plan_here(speed);
}

void Slicer::enter(size_t k, double entry)
{
    c_.k = k;
    c_.seg = &window_.segment(k);
    c_.s_base = 0;
    plan_here(entry);
    if (ahead() < want_ / 2)
        filling_ = true; // filled again once half the horizon is run
}

// mm into the current segment, and the speed there.
double Slicer::path_now(double &speed) const
{
    double s;
    c_.trap.at(c_.tau, s, speed);
    return c_.s_base + s;
}

Next Slicer::next(Slice &slice, uint32_t &action)
{
    // Most slices end inside the profile the path is on.
    if (started_ && !replan_ && !c_.done && !c_.held && !c_.seg->has_action &&
        period_s_ < c_.trap.duration() - c_.tau - kTimeEps) {
        c_.tau += period_s_;
        return sample(slice, false);
    }
    return next_across(slice, action);
}

// A slice across the ends of profiles: into the next segments, to an action, to rest.
Next Slicer::next_across(Slice &slice, uint32_t &action)
{
    if (!started_ && !start())
        return need_more(ahead());
    if (c_.k > 0)
        window_.drop_before(c_.k - 1); // the one before: an action's slice names its line
    const size_t ahead_at_call = ahead();
    if (replan_) {
        if (!may_plan(c_.k, ahead_at_call))
            return need_more(ahead_at_call);
        replan_ = false;
        replan_here();
    }
    const Cursor before = c_; // nothing made: back to where the call found the path
    double left = period_s_;  // s of this slice not yet given to the path
    bool at_end = false;      // the slice ends at the end of segment c_.k
    for (;;) {
        if (c_.done || c_.held) {
            if (left < period_s_)
                break; // the slice that got here goes first
            return c_.done ? Next::Done : Next::Held;
        }
        const Segment &s = *c_.seg;
        if (s.has_action) {
            at_end = true;
            if (left < period_s_)
                break;
            const After after = what_follows(ahead_at_call);
            if (after == After::Wait) {
                c_ = before;
                return need_more(ahead_at_call);
            }
            action = s.action;
            if (after == After::End) {
                c_.done = true;
            } else {
                enter(c_.k + 1, 0);
            }
            return Next::Action;
        }
        double rest = c_.trap.duration() - c_.tau;
        if (left < rest - kTimeEps) {
            c_.tau += left;
            left = 0;
            at_end = false;
            break;
        }
        left -= std::max(rest, 0.0);
        c_.tau = c_.trap.duration();
        if (c_.rests_mid) { // a hold came to rest inside the segment
            c_.s_base += c_.trap.length;
            c_.trap = Trapezoid{};
            c_.tau = 0;
            c_.rests_mid = false;
            c_.held = true;
            c_.done = stopping_;
            at_end = false;
            continue;
        }
        at_end = true;
        if (stopping_ && c_.trap.exit <= 0) {
            c_.done = true;
            continue;
        }
        const After after = what_follows(ahead_at_call);
        if (after == After::Wait) {
            c_ = before;
            return need_more(ahead_at_call);
        }
        if (after == After::End) {
            c_.done = true;
            continue;
        }
        enter(c_.k + 1, s.stop_after ? 0 : c_.trap.exit);
        at_end = false; // at the start of the next: the same point
    }
    return sample(slice, at_end);
}

// The slice to where the path is now, rounded; a move's exact end as the program rounds
// it (`at_end`: the path is at the end of its segment).
Next Slicer::sample(Slice &slice, bool at_end)
{
    const Segment &s = *c_.seg;
    double speed;
    double along = path_now(speed);
    const PulsePoint target = at_end && s.exact_end
                                  ? s.end_pulses
                                  : to_pulses(s.point(at_end ? s.length : along), limits_.scale);
    for (int a = 0; a < 3; a++) {
        slice.pulses[a] = static_cast<int32_t>(target[a] - at_[a]);
        at_[a] = target[a];
    }
    // The motion's segment: at a Stop, the one before it.
    const Segment &m = s.has_action && c_.k > 0 ? window_.segment(c_.k - 1) : s;
    slice.line = m.line;
    slice.step = m.step;
    slice.rapid = m.rapid;
    slice.speed_mm_s = speed;
    slice.feed_mm_s = m.rapid ? m.feed : m.feed * override_percent() / 100.0;
    return Next::Slice;
}

double Slicer::skip()
{
    // The path started first, as next() starts it: the periods counted are the same
    // whether the moves came before the first call or after.
    if (!start() || replan_ || c_.done || c_.held || holding_ || c_.seg->has_action)
        return 0;
    const double n = std::floor((c_.trap.duration() - c_.tau) / period_s_) - 1;
    if (!(n >= 2))
        return 0;
    c_.tau += n * period_s_;
    double speed;
    at_ = to_pulses(c_.seg->point(path_now(speed)), limits_.scale);
    return n;
}

void Slicer::set_override(uint32_t percent)
{
    percent = std::min(1000u, std::max(1u, percent));
    if (percent == override_percent() || c_.done)
        return;
    window_.set_override(percent);
    if (!started_ || c_.held)
        return; // planned when the path starts, or resumes
    if (can_plan(c_.k))
        replan_here();
    else
        replan_ = true; // once the window shows the exit speed
}

void Slicer::hold()
{
    if (holding_ || c_.done)
        return;
    holding_ = true;
    replan_ = false; // braking needs nothing ahead
    if (started_)
        replan_here();
}

void Slicer::resume()
{
    if (!holding_ || stopping_ || c_.done)
        return;
    holding_ = false;
    if (!started_)
        return;
    c_.held = false;
    if (can_plan(c_.k))
        replan_here();
    else
        replan_ = true;
}

void Slicer::stop()
{
    if (c_.done)
        return;
    stopping_ = true;
    hold();
    if (c_.held)
        c_.done = true;
}

} // namespace korva3_planner
