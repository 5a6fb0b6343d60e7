// path_thinner.h - keeps an executed path at the picture's resolution while it runs: a
// point is kept when it lies a tolerance away from the last point kept, or where an axis
// turns back (an extreme). When more points pile up than a plot needs, the tolerance
// doubles and the points kept so far are thinned again, so memory stays bounded however
// long the job runs. The first and last points are always exact.
//
// New coordinates (homing, zero, preset: a jump) break the path into runs, and both
// sides of a break are kept, so no line is drawn that was never travelled. A job that
// breaks it more often than the budget holds (a zero per part, for thousands of parts)
// keeps an evenly spaced sample of its runs: every 2nd, then every 4th, ... (the first
// and the current run always), each drawn whole.
#ifndef KORVA3_TOOL_PATH_THINNER_H
#define KORVA3_TOOL_PATH_THINNER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "machine/machine.h"

namespace korva3_tool {

class PathThinner {
public:
    explicit PathThinner(size_t max_points = 12000)
        : max_points_(max_points < 8 ? 8 : max_points) {}

    void add(const MotionRecord &r);

    // The path thinned (with the last point seen), in order.
    std::vector<MotionRecord> points() const;

    bool empty() const { return kept_.empty(); }
    const MotionRecord &last() const { return last_; }
    // Smallest and largest position of each axis, exact.
    const std::array<int32_t, 3> &low() const { return low_; }
    const std::array<int32_t, 3> &high() const { return high_; }
    int64_t tolerance() const { return tol_; } // pulses

private:
    bool far(const MotionRecord &a, const MotionRecord &b, int64_t tol) const;
    void rethin();
    void thin();
    void drop_runs();
    void end_run();

    size_t max_points_;        // the budget: points kept
    int64_t tol_ = 0;
    uint64_t run_ = 0;         // the current run's number (0: the first, before any jump)
    uint64_t run_stride_ = 1;  // finished runs kept: those whose number it divides
    size_t run_start_ = 0;     // where the current run begins in kept_
    std::vector<MotionRecord> kept_;
    MotionRecord last_{};      // the newest point seen
    bool last_kept_ = false;   // whether last_ is kept_.back()
    std::array<int, 3> dir_{}; // direction of each axis's last change (-1, 0, 1)
    std::array<int32_t, 3> low_{}, high_{};
};

} // namespace korva3_tool

#endif
