// path_thinner.cpp - thinning the executed path as it arrives.
#include "record/path_thinner.h"

#include <algorithm>
#include <cstdlib>

namespace korva3_tool {

namespace {

int32_t axis(const MotionRecord &r, int i) { return i == 0 ? r.x : i == 1 ? r.y : r.z; }

int sign(int64_t v) { return (v > 0) - (v < 0); }

} // namespace

bool PathThinner::far(const MotionRecord &a, const MotionRecord &b, int64_t tol) const
{
    for (int i = 0; i < 3; i++)
        if (std::llabs(int64_t(axis(a, i)) - axis(b, i)) > tol)
            return true;
    return false;
}

void PathThinner::add(const MotionRecord &r)
{
    if (kept_.empty()) {
        kept_.push_back(r);
        last_ = r;
        last_kept_ = true;
        low_ = high_ = {r.x, r.y, r.z};
        return;
    }
    for (int i = 0; i < 3; i++) {
        low_[i] = std::min(low_[i], axis(r, i));
        high_[i] = std::max(high_[i], axis(r, i));
    }
    if (r.jump) { // new coordinates: both sides of the jump are kept
        end_run();
        run_++;
        run_start_ = kept_.size();
        kept_.push_back(r);
        last_ = r;
        last_kept_ = true;
        dir_ = {};
        if (kept_.size() > max_points_)
            rethin();
        return;
    }
    bool turn = false;
    for (int i = 0; i < 3; i++) {
        int32_t v = axis(r, i);
        int d = sign(int64_t(v) - axis(last_, i));
        if (d != 0) {
            turn |= dir_[i] != 0 && d != dir_[i];
            dir_[i] = d;
        }
    }
    // Where an axis turns back, the point before is an extreme: keep it unless it sits
    // within a quarter of the tolerance of the last point kept.
    if (turn && !last_kept_ && far(last_, kept_.back(), tol_ / 4))
        kept_.push_back(last_);
    last_kept_ = far(r, kept_.back(), tol_);
    if (last_kept_)
        kept_.push_back(r);
    last_ = r;
    if (kept_.size() > max_points_)
        rethin();
}

// The run that a jump ends: its last point kept, or the whole run dropped when the
// sample of runs leaves it out.
void PathThinner::end_run()
{
    if (run_ % run_stride_ != 0)
        kept_.resize(run_start_);
    else if (!last_kept_)
        kept_.push_back(last_);
}

// Coarser until the points fill at most half the budget: the tolerance doubles up to
// about 4 pixels of the picture (span / 250); beyond that every other finished run goes
// while there are finished runs to spare, else the tolerance doubles on (a single run of
// many turns). Each step is one pass over the points: the tolerance doubles at most
// about 36 times (at 4 x span, a run keeps only its ends), and each drop halves the runs.
void PathThinner::rethin()
{
    int64_t span = 1;
    for (int i = 0; i < 3; i++)
        span = std::max<int64_t>(span, int64_t(high_[i]) - low_[i]);
    while (kept_.size() > max_points_ / 2) {
        const auto runs = 1 + std::count_if(kept_.begin() + 1, kept_.end(),
                                            [](const MotionRecord &p) { return p.jump; });
        if (tol_ < span / 250 || runs < 3) {
            tol_ = std::max({tol_ * 2, span / 4000, int64_t(1)});
            thin();
        } else {
            drop_runs();
        }
    }
    run_start_ = kept_.size() - 1;
    while (run_start_ > 0 && !kept_[run_start_].jump)
        run_start_--;
}

// One pass at the tolerance: both sides of each jump, turns a quarter of it away, other
// points the whole of it away.
void PathThinner::thin()
{
    std::vector<MotionRecord> old;
    old.swap(kept_);
    kept_.reserve(max_points_ + 1);
    kept_.push_back(old.front());
    std::array<int, 3> dir{};
    for (size_t k = 1; k < old.size(); k++) {
        const MotionRecord &p = old[k];
        bool turn = false;
        if (k + 1 < old.size())
            for (int i = 0; i < 3; i++) {
                int d = sign(int64_t(axis(old[k + 1], i)) - axis(p, i));
                int before = sign(int64_t(axis(p, i)) - axis(old[k - 1], i));
                if (before != 0)
                    dir[i] = before;
                turn |= d != 0 && dir[i] != 0 && d != dir[i];
            }
        bool jump_side = p.jump || (k + 1 < old.size() && old[k + 1].jump);
        if (jump_side || far(p, kept_.back(), turn ? tol_ / 4 : tol_))
            kept_.push_back(p);
    }
    last_kept_ = kept_.back().t_ms == last_.t_ms && !far(kept_.back(), last_, 0);
}

// Every other finished run goes: the finished runs kept are those whose number the
// stride divides, in order (the first is run 0), so the k-th of them stays when k is
// even. The current run, the last in kept_, always stays.
void PathThinner::drop_runs()
{
    run_stride_ *= 2;
    size_t current = kept_.size() - 1;
    while (current > 0 && !kept_[current].jump)
        current--;
    std::vector<MotionRecord> old;
    old.swap(kept_);
    kept_.reserve(max_points_ + 1);
    size_t k = 0; // the finished run a point belongs to, counted among those kept
    for (size_t n = 0; n < old.size(); n++) {
        if (n > 0 && old[n].jump)
            k++;
        if (n >= current || k % 2 == 0)
            kept_.push_back(old[n]);
    }
}

std::vector<MotionRecord> PathThinner::points() const
{
    std::vector<MotionRecord> out = kept_;
    if (!kept_.empty() && !last_kept_)
        out.push_back(last_);
    return out;
}

} // namespace korva3_tool
