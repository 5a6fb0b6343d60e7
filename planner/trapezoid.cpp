// trapezoid.cpp - building and sampling the speed profile of one segment.
#include "planner/trapezoid.h"

#include <algorithm>
#include <cmath>

namespace korva3_planner {

namespace {

// The phases' times from speeds and distances.
Trapezoid finish(Trapezoid t, double d1, double d3)
{
    t.d1 = d1;
    t.d2 = std::max(0.0, t.length - d1 - d3);
    t.t1 = std::fabs(t.peak - t.entry) / t.accel;
    t.t2 = t.peak > 0 ? t.d2 / t.peak : 0;
    t.t3 = std::fabs(t.peak - t.exit) / t.accel;
    return t;
}

} // namespace

Trapezoid make_trapezoid(double length, double entry, double exit, double max_speed, double accel)
{
    Trapezoid t;
    t.length = length;
    t.entry = entry;
    t.exit = exit;
    t.accel = accel;
    if (entry > max_speed) {
        t.peak = std::max(max_speed, exit);
    } else {
        t.peak = std::min(max_speed, std::sqrt(accel * length + (entry * entry + exit * exit) / 2));
        t.peak = std::max({t.peak, entry, exit});
    }
    double d1 = std::fabs(t.peak * t.peak - entry * entry) / (2 * accel);
    double d3 = std::fabs(t.peak * t.peak - exit * exit) / (2 * accel);
    if (d1 + d3 > length) { // rounding: take the acceleration that fits exactly
        double need = (std::fabs(t.peak * t.peak - entry * entry) +
                       std::fabs(t.peak * t.peak - exit * exit)) / 2;
        if (need > 0 && length > 0)
            t.accel = need / length;
        d1 = std::fabs(t.peak * t.peak - entry * entry) / (2 * t.accel);
        d3 = length - d1;
    }
    return finish(t, d1, d3);
}

Trapezoid make_braking(double length, double entry, double accel)
{
    Trapezoid t;
    t.entry = entry;
    t.accel = accel;
    double to_rest = entry * entry / (2 * accel);
    t.length = std::min(length, to_rest);
    t.exit = length < to_rest ? std::sqrt(entry * entry - 2 * accel * length) : 0;
    t.peak = t.exit;
    return finish(t, t.length, 0);
}

void Trapezoid::at(double t, double &s, double &v) const
{
    if (t <= t1) {
        double sign = peak >= entry ? 1 : -1;
        v = entry + sign * accel * t;
        s = entry * t + sign * accel * t * t / 2;
    } else if (t <= t1 + t2) {
        v = peak;
        s = d1 + peak * (t - t1);
    } else {
        double tau = std::min(t - t1 - t2, t3);
        double sign = peak >= exit ? 1 : -1;
        v = peak - sign * accel * tau;
        s = d1 + d2 + peak * tau - sign * accel * tau * tau / 2;
    }
    s = std::min(std::max(s, 0.0), length);
    v = std::max(v, 0.0);
}

} // namespace korva3_planner
