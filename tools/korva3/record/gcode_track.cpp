// gcode_track.cpp - a G-code run's path pieces and path speed, kept small.
#include "record/gcode_track.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace korva3_tool {

namespace {

constexpr size_t kMaxPoints = 60000; // in all pieces; beyond it the step doubles

float dist(const GcodeTrack::Point &a, const GcodeTrack::Point &b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

} // namespace

GcodeTrack::GcodeTrack(const std::array<double, 3> &scale, double span_mm, size_t bins)
    : scale_(scale), step_(std::max(span_mm, 1e-3) / 2000), max_bins_(std::max<size_t>(bins, 2))
{
}

void GcodeTrack::line_sent(int line, const GcodeLine &info)
{
    auto [it, added] = lines_.insert_or_assign(line, info);
    (void)it;
    if (!added)
        return;
    line_order_.push_back(line);
    if (line_order_.size() > kMaxLines) {
        lines_.erase(line_order_.front());
        line_order_.pop_front();
    }
}

GcodeTrack::Point GcodeTrack::mm(const std::array<int32_t, 3> &at) const
{
    Point p;
    for (int a = 0; a < 3; a++)
        p[a] = static_cast<float>((double(at[a]) - start_[a]) / scale_[a]);
    return p;
}

void GcodeTrack::start(uint64_t t_us, const std::array<int32_t, 3> &at)
{
    started_ = true;
    start_ = last_ = at;
    origin_us_ = t_us;
    pending_ = mm(at);
    has_pending_ = true;
}

void GcodeTrack::keep(const Point &p, bool rapid)
{
    if (pieces_.empty() || pieces_.back().rapid != rapid) {
        // A new piece starts where the last one ended.
        Point from = pieces_.empty() ? pending_ : pieces_.back().points.back();
        if (!pieces_.empty() && has_pending_) {
            pieces_.back().points.push_back(pending_);
            from = pending_;
            kept_++;
        }
        pieces_.push_back({rapid, {from}});
        kept_++;
    }
    Piece &piece = pieces_.back();
    if (dist(p, piece.points.back()) >= step_) {
        piece.points.push_back(p);
        kept_++;
        has_pending_ = false;
    } else {
        pending_ = p;
        has_pending_ = true;
    }
    if (kept_ > kMaxPoints)
        thin_all();
}

void GcodeTrack::thin_all()
{
    step_ *= 2;
    kept_ = 0;
    for (Piece &piece : pieces_) {
        std::vector<Point> out{piece.points.front()};
        for (size_t i = 1; i < piece.points.size(); i++)
            if (i + 1 == piece.points.size() || dist(piece.points[i], out.back()) >= step_)
                out.push_back(piece.points[i]);
        piece.points = std::move(out);
        kept_ += piece.points.size();
    }
}

GcodeTrack::Bin &GcodeTrack::bin_at(uint64_t t_us)
{
    uint64_t k = t_us > origin_us_ ? (t_us - origin_us_) / bin_us_ : 0;
    while (k >= max_bins_) { // neighbours merge, bins double in width
        std::vector<Bin> merged((bins_.size() + 1) / 2);
        for (size_t i = 0; i < bins_.size(); i++) {
            Bin &m = merged[i / 2];
            const Bin &b = bins_[i];
            if (!b.seen)
                continue;
            m.mm += b.mm;
            m.s += b.s;
            m.feed = std::max(m.feed, b.feed);
            m.seen = true;
        }
        bins_ = std::move(merged);
        bin_us_ *= 2;
        k /= 2;
    }
    if (bins_.size() <= k)
        bins_.resize(k + 1);
    return bins_[k];
}

void GcodeTrack::slice_run(uint64_t t_us, int line, const std::array<int32_t, 3> &at,
                           uint32_t period_us)
{
    if (!started_)
        start(t_us, at);
    auto it = lines_.find(line);
    GcodeLine info = it == lines_.end() ? GcodeLine{} : it->second;
    double d = 0;
    for (int a = 0; a < 3; a++) {
        double v = (double(at[a]) - last_[a]) / scale_[a];
        d += v * v;
    }
    last_ = at;
    Bin &b = bin_at(t_us + period_us / 2);
    b.mm += std::sqrt(d);
    b.s += (period_us ? period_us : 1000) * 1e-6;
    b.feed = std::max(b.feed, static_cast<float>(info.feed));
    b.seen = true;
    keep(mm(at), info.rapid);
}

void GcodeTrack::finish()
{
    if (!pieces_.empty() && has_pending_) {
        pieces_.back().points.push_back(pending_);
        kept_++;
        has_pending_ = false;
    }
}

} // namespace korva3_tool
