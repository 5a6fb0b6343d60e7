// outline.cpp - the program's path, thinned to a bounded number of points.
#include "control/outline.h"

namespace korva3_control {

void Outline::add(const std::array<double, 3> &mm, bool rapid)
{
    const bool turn = has_last_ && rapid != last_.rapid; // rapid to feed or back
    if (turn && !last_kept_) // the end of the stretch before the change
        points_.push_back(last_);
    last_ = {mm, rapid};
    has_last_ = true;
    if (points_.empty() || turn || ++count_ >= every_) {
        points_.push_back(last_);
        count_ = 0;
        last_kept_ = true;
    } else {
        last_kept_ = false;
    }
    if (points_.size() >= kMaxPoints)
        thin();
}

void Outline::thin()
{
    // Every other point, keeping those that start or end a rapid stretch; a path of
    // nothing but such edges (rapid and feed in turn) loses every other point alike.
    for (bool keep_edges : {true, false}) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < points_.size(); i++) {
            const bool edge = (i > 0 && points_[i].rapid != points_[i - 1].rapid) ||
                              (i + 1 < points_.size() && points_[i + 1].rapid != points_[i].rapid);
            if (i % 2 == 0 || (keep_edges && edge))
                points_[kept++] = points_[i];
        }
        points_.resize(kept);
        every_ *= 2;
        if (points_.size() < kMaxPoints * 3 / 4)
            return;
    }
}

void Outline::finish()
{
    if (has_last_ && !last_kept_) {
        points_.push_back(last_);
        last_kept_ = true;
    }
}

} // namespace korva3_control
