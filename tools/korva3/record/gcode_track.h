// gcode_track.h - what a G-code run executed, for its plot: the path in millimetres cut
// into pieces of rapids (G0) and cuts, thinned to the picture's resolution, and the path
// speed (the mean of each bin, so the pulses's rounding does not blur it) against
// time beside the programmed feed, in a bounded number of time bins.
//
// Fed by the run with each line's rapid and feed as its slices go out, and by the run's
// watch with every slice the card executed and the program line it belongs to. Only the
// lines of the last kMaxLines slices sent are remembered: the card's queue never holds
// more, so any program's run keeps the same bounded memory.
#ifndef KORVA3_TOOL_GCODE_TRACK_H
#define KORVA3_TOOL_GCODE_TRACK_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

namespace korva3_tool {

// What a program line moves at.
struct GcodeLine {
    bool rapid = false; // G0
    double feed = 0;    // mm/min: the programmed feed times the override (rapids: rapid)
};

class GcodeTrack {
public:
    using Point = std::array<float, 3>; // mm from where the card started

    struct Piece {
        bool rapid = false;
        std::vector<Point> points;
    };
    struct Bin {
        bool seen = false;           // the card executed a slice in it
        double mm = 0, s = 0;        // path covered and time taken by the slices in it
        double speed() const { return s > 0 ? mm / s * 60 : 0; } // mean, mm/min
        float feed = 0;              // highest programmed feed, mm/min
    };

    static constexpr size_t kMaxLines = 1 << 16;

    // scale: pulses per mm; span: the program's largest extent, mm (sets the resolution).
    GcodeTrack(const std::array<double, 3> &scale, double span_mm, size_t bins = 900);

    // A slice of `line` goes out: what the line moves at.
    void line_sent(int line, const GcodeLine &info);

    // Where the card stood at t_us before its first slice.
    void start(uint64_t t_us, const std::array<int32_t, 3> &at);
    // The card executed a slice of `line` that took period_us and left it at `at` (t_us:
    // when the slice began).
    void slice_run(uint64_t t_us, int line, const std::array<int32_t, 3> &at, uint32_t period_us);
    // The last points of the path (the run ended).
    void finish();

    bool started() const { return started_; }
    const std::vector<Piece> &pieces() const { return pieces_; }
    uint64_t origin_us() const { return origin_us_; }
    uint64_t bin_us() const { return bin_us_; }
    const std::vector<Bin> &bins() const { return bins_; }
    const std::array<double, 3> &scale() const { return scale_; }

private:
    Point mm(const std::array<int32_t, 3> &at) const;
    void keep(const Point &p, bool rapid);
    void thin_all();
    Bin &bin_at(uint64_t t_us);

    std::array<double, 3> scale_;
    std::unordered_map<int, GcodeLine> lines_;
    std::deque<int> line_order_; // lines_'s keys, oldest first
    double step_;               // mm between kept points
    size_t max_bins_;           // speed bins kept; beyond them neighbours merge
    bool started_ = false;
    std::array<int32_t, 3> start_{}, last_{};
    Point pending_{};           // the last point seen, not yet kept
    bool has_pending_ = false;
    size_t kept_ = 0;           // points in all pieces
    std::vector<Piece> pieces_;
    uint64_t origin_us_ = 0, bin_us_ = 1000;
    std::vector<Bin> bins_;
};

} // namespace korva3_tool

#endif
