// outline.h - a program's path as a front end draws it before it runs: points in
// machine mm with whether the move to each is a rapid, at most kMaxPoints of them. As
// the check feeds points in, the outline keeps every n-th and doubles n whenever it is
// full, so any program gives a bounded outline, evenly thinned; the last point and every
// change between rapid and feed are kept, so the picture's ends and its rapids are true.
#ifndef KORVA3_CONTROL_OUTLINE_H
#define KORVA3_CONTROL_OUTLINE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korva3_control {

struct OutlinePoint {
    std::array<double, 3> mm{}; // machine X, Y, Z
    bool rapid = false;         // the move to this point is a rapid
};

class Outline {
public:
    static constexpr std::size_t kMaxPoints = 20000;

    void add(const std::array<double, 3> &mm, bool rapid);
    void finish(); // the last point given is kept
    const std::vector<OutlinePoint> &points() const { return points_; }

private:
    void thin();

    std::vector<OutlinePoint> points_;
    OutlinePoint last_;      // the last point given
    bool has_last_ = false;
    bool last_kept_ = true;
    uint64_t every_ = 1;     // keep one point in this many
    uint64_t count_ = 0;     // points given since the last kept
};

} // namespace korva3_control

#endif
