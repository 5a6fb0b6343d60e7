// speed_track.cpp - binning the speed of each axis over time.
#include "record/speed_track.h"

#include <algorithm>

namespace korva3_tool {

size_t SpeedTrack::bin_of(uint64_t t_us)
{
    uint64_t rel = t_us > origin_us_ ? t_us - origin_us_ : 0;
    while (rel / bin_us_ >= max_bins_) {
        // Merge neighbours: bin k of the wider bins covers old bins 2k and 2k+1.
        std::vector<SpeedBin> wider((bins_.size() + 1) / 2);
        for (size_t k = 0; k < bins_.size(); k++) {
            SpeedBin &w = wider[k / 2];
            const SpeedBin &b = bins_[k];
            if (!b.seen)
                continue;
            if (!w.seen) {
                w = b;
                continue;
            }
            for (int i = 0; i < 3; i++) {
                w.lo[i] = std::min(w.lo[i], b.lo[i]);
                w.hi[i] = std::max(w.hi[i], b.hi[i]);
            }
        }
        bins_.swap(wider);
        bin_us_ *= 2;
    }
    size_t bin = static_cast<size_t>(rel / bin_us_);
    if (bin >= bins_.size())
        bins_.resize(bin + 1);
    return bin;
}

void SpeedTrack::put(size_t bin, const std::array<float, 3> &v)
{
    SpeedBin &b = bins_[bin];
    if (!b.seen) {
        b.seen = true;
        b.lo = b.hi = v;
        return;
    }
    for (int i = 0; i < 3; i++) {
        b.lo[i] = std::min(b.lo[i], v[i]);
        b.hi[i] = std::max(b.hi[i], v[i]);
    }
}

void SpeedTrack::still(uint64_t from_us, uint64_t to_us)
{
    if (to_us <= from_us)
        return;
    size_t last = bin_of(to_us - 1);
    for (size_t b = bin_of(from_us); b <= last; b++)
        put(b, {0, 0, 0});
}

void SpeedTrack::add(uint64_t t_us, const std::array<int64_t, 3> &delta, uint64_t took_us)
{
    if (took_us == 0)
        took_us = 1;
    uint64_t began = t_us > took_us ? t_us - took_us : 0;
    if (last_us_ != 0 || began > origin_us_)
        still(std::max(last_us_, origin_us_), began);
    std::array<float, 3> v;
    for (int i = 0; i < 3; i++)
        v[i] = static_cast<float>(double(delta[i]) * 1000.0 / double(took_us));
    put(bin_of(t_us > 0 ? t_us - 1 : 0), v);
    last_us_ = std::max(last_us_, t_us);
}

void SpeedTrack::idle_until(uint64_t t_us)
{
    still(std::max(last_us_, origin_us_), t_us);
    last_us_ = std::max(last_us_, t_us);
}

} // namespace korva3_tool
