// path_check.cpp - a planner's run timed on the host and checked on the virtual card.
#include "path_check.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "korva3.h"
#include "korva3_sim.h"
#include "planner/stream.h"

namespace path_check {

namespace {

// Distance (mm) from `p` to move `m`, which starts at `from`.
double distance_to(const kp::PathMove &m, const kp::Vec3 &from, const kp::Vec3 &p)
{
    if (m.kind == kp::Kind::Line) {
        double d2 = 0, along = 0;
        for (int a = 0; a < 3; a++) {
            d2 += (m.end[a] - from[a]) * (m.end[a] - from[a]);
            along += (p[a] - from[a]) * (m.end[a] - from[a]);
        }
        double t = d2 > 0 ? std::fmin(1, std::fmax(0, along / d2)) : 0, e = 0;
        for (int a = 0; a < 3; a++) {
            double q = from[a] + t * (m.end[a] - from[a]) - p[a];
            e += q * q;
        }
        return std::sqrt(e);
    }
    const int u = m.u, v = m.v, w = 3 - u - v;
    const double a0 = std::atan2(from[v] - m.centre[v], from[u] - m.centre[u]);
    double a = std::atan2(p[v] - m.centre[v], p[u] - m.centre[u]) - a0;
    if (m.turn >= 0)
        a = std::fmod(a + 8 * M_PI, 2 * M_PI);
    else
        a = -std::fmod(-a + 8 * M_PI, 2 * M_PI);
    const double r = std::hypot(from[u] - m.centre[u], from[v] - m.centre[v]);
    const double frac = m.turn != 0 ? a / m.turn : 0;
    if (frac >= 0 && frac <= 1) {
        double rho = std::hypot(p[u] - m.centre[u], p[v] - m.centre[v]);
        double pw = from[w] + frac * (m.end[w] - from[w]);
        return std::hypot(rho - r, p[w] - pw);
    }
    double e0 = 0, e1 = 0;
    for (int k = 0; k < 3; k++) {
        e0 += (p[k] - from[k]) * (p[k] - from[k]);
        e1 += (p[k] - m.end[k]) * (p[k] - m.end[k]);
    }
    return std::sqrt(std::fmin(e0, e1));
}

} // namespace

// Each move's length over its feed, s.
double lower_bound_s(const std::vector<kp::PathMove> &moves)
{
    kp::Vec3 at{};
    double t = 0;
    for (const kp::PathMove &m : moves) {
        if (m.kind == kp::Kind::Stop)
            continue;
        double len = 0;
        if (m.kind == kp::Kind::Line) {
            for (int a = 0; a < 3; a++)
                len += (m.end[a] - at[a]) * (m.end[a] - at[a]);
            len = std::sqrt(len);
        } else {
            double r = std::hypot(at[m.u] - m.centre[m.u], at[m.v] - m.centre[m.v]);
            len = std::fabs(m.turn) * r;
        }
        t += len / m.feed_mm_s;
        at = m.end;
    }
    return t;
}

OnCard on_card(const std::vector<kp::PathMove> &moves, const kp::Limits &l)
{
    OnCard r;
    KSIM_RESET();
    KSIM_SET_LOGGING(0);
    KSIM_SET_SLICE_PERIOD_US(-1, static_cast<int32_t>(l.slice_us));
    KSIM_ADD_CARD(0, 1, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR,
                  KSIM_PCI_SUBSYSTEM, 0);
    KORVA3_INITIAL();
    if (KORVA3_REGISTRATION(0, 0) != 1)
        return r;
    // Path moves and where each starts, for the distance; the window moves on with the path.
    std::vector<kp::Vec3> starts;
    kp::Vec3 at{};
    std::vector<size_t> motion;
    for (size_t i = 0; i < moves.size(); i++)
        if (moves[i].kind != kp::Kind::Stop) {
            starts.push_back(at);
            motion.push_back(i);
            at = moves[i].end;
        }
    size_t near = 0;
    int32_t prev[3] = {0, 0, 0}, prev_d[3] = {0, 0, 0};
    const double t = kp::slice_s(l);
    auto take = [&] {
        int32_t rec[4 * 1024];
        uint32_t n;
        while ((n = KSIM_TAKE_MOTION(0, rec, 1024)) > 0)
            for (uint32_t k = 0; k < n; k++) {
                const int32_t *q = rec + 4 * k + 1;
                kp::Vec3 mm{};
                for (int a = 0; a < 3; a++) {
                    int32_t d = q[a] - prev[a];
                    r.v_viol += std::abs(d) > kp::axis_speed(l, a) * l.scale[a] * t + 1;
                    r.a_viol +=
                        std::abs(d - prev_d[a]) > l.max_accel_mm_s2[a] * l.scale[a] * t * t + 2;
                    prev_d[a] = d;
                    prev[a] = q[a];
                    mm[a] = q[a] / l.scale[a];
                }
                double best = INFINITY;
                size_t best_at = near;
                // From the move matched so far on: the first within the tolerance and
                // a pulse is matched (a path that crosses or goes back over itself, a
                // plunge and its lift, matches the earlier move), its distance the least
                // of it and the two after it; else the nearest of the next 8, and on
                // while none is within twice the tolerance (many short moves in a slice).
                const double close = l.tolerance + 1 / l.scale[0];
                size_t stop = motion.size(), first = motion.size();
                for (size_t j = near;
                     j < stop && (j < best_at + 8 || best > 2 * l.tolerance); j++) {
                    double e = distance_to(moves[motion[j]], starts[j], mm);
                    if (e < best) {
                        best = e;
                        best_at = j;
                    }
                    if (e <= close && first == motion.size()) {
                        first = j;
                        stop = std::min(motion.size(), j + 3);
                    }
                }
                if (first < motion.size())
                    best_at = first;
                near = best_at;
                if (best < INFINITY)
                    r.farthest = std::fmax(r.farthest, best);
            }
    };
    kp::Slicer slicer(moves, l);
    kp::StreamHooks h;
    h.poll = [&](const kp::Status &) {
        take();
        return kp::Controls{};
    };
    h.action = [&](uint32_t) {
        take();
        prev_d[0] = prev_d[1] = prev_d[2] = 0; // the machine stands
        return true;
    };
    uint32_t t0 = KSIM_CLOCK_MS();
    kp::StreamReport rep = kp::stream_to_card(slicer, 0, h);
    r.s = (KSIM_CLOCK_MS() - t0) / 1000.0;
    take();
    r.underruns = rep.underruns;
    KORVA3_END();
    return r;
}

Host host(const std::vector<kp::PathMove> &moves, const kp::Limits &l, bool fed)
{
    Host h;
    double best = INFINITY;
    for (int run = 0; run < 5; run++) {
        auto t0 = std::chrono::steady_clock::now();
        std::unique_ptr<kp::Slicer> slicer =
            fed ? std::make_unique<kp::Slicer>(l) : std::make_unique<kp::Slicer>(moves, l);
        size_t pushed = fed ? 0 : moves.size();
        kp::Slice slice;
        uint32_t action;
        uint64_t n = 0;
        for (;;) {
            while (pushed < moves.size() && slicer->wants_more())
                slicer->push(moves[pushed++]);
            if (pushed == moves.size())
                slicer->finish();
            kp::Next next = slicer->next(slice, action);
            if (next == kp::Next::Done)
                break;
            n += next == kp::Next::Slice;
            h.most_held = std::max(h.most_held, slicer->window_segments());
        }
        auto took = std::chrono::steady_clock::now() - t0;
        best = std::min(best, std::chrono::duration<double>(took).count());
        h.slices = n;
    }
    h.us_per_slice = best / h.slices * 1e6;
    return h;
}

} // namespace path_check
