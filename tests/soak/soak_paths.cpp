// soak_paths.cpp - rounds of paths for the soak.
#include "soak_paths.h"

#include <algorithm>
#include <cmath>

namespace soak {

namespace {

constexpr double kPi = 3.14159265358979;

std::int32_t pick(std::mt19937& rng, std::int32_t low, std::int32_t high)
{
    return std::uniform_int_distribution<std::int32_t>(low, high)(rng);
}

std::int32_t signed_pick(std::mt19937& rng, std::int32_t low, std::int32_t high)
{
    return (rng() % 2 ? 1 : -1) * pick(rng, low, high);
}

// A speed (pulses per slice), spread evenly over its logarithm, for a path of `length`
// pulses that takes at most `max_ms` slices and is not faster than `fastest`.
std::uint32_t speed_for(std::mt19937& rng, double length, double max_ms, std::uint32_t fastest)
{
    const auto slowest = static_cast<std::uint32_t>(std::ceil(length / max_ms));
    const std::uint32_t low = std::max<std::uint32_t>(1, slowest);
    const std::uint32_t high = std::max(low, fastest);
    // Spread evenly over the logarithm: slow paths as often as fast ones.
    const double at = std::uniform_real_distribution<double>(std::log(low), std::log(high))(rng);
    return std::clamp(static_cast<std::uint32_t>(std::lround(std::exp(at))), low, high);
}

} // namespace

std::string Path::describe() const
{
    static const char* const kNames[] = {"INTP_LINE",   "INTP_XYZ",      "INTP_CIRCLE", "INTP_ARC",
                                         "INTP_LINE02", "INTP_CIRCLE02", "INTP_ARC02"};
    std::string s = kNames[kind];
    s += " " + std::to_string(a) + " " + std::to_string(b);
    if (kind == Xyz || kind == Arc || kind == StepArc)
        s += " " + std::to_string(c);
    if (kind == Circle || kind == Arc || kind == StepCircle || kind == StepArc)
        s += " dir " + std::to_string(direction);
    return s + " speed " + std::to_string(speed);
}

std::uint64_t Path::min_slices() const
{
    double length = 0;
    switch (kind) {
    case Line:
    case StepLine: length = std::hypot(double(a), double(b)); break;
    case Xyz: length = std::sqrt(double(a) * a + double(b) * b + double(c) * c); break;
    case Circle:
    case StepCircle: length = 2 * kPi * std::hypot(double(a), double(b)); break;
    case Arc:
    case StepArc: length = std::hypot(double(a), double(b)); break; // the chord, at least
    }
    return static_cast<std::uint64_t>(length / speed);
}

std::vector<Path> make_round(std::mt19937& rng, bool longer, std::uint64_t round,
                             std::uint64_t reported_every, RoundSettings& settings)
{
    // Longer: paths of up to 40 s (a few seconds mostly); else of up to ~60 ms.
    const std::int32_t scale = longer ? pick(rng, 2000, 60000) : pick(rng, 200, 2000);
    const double max_ms = longer ? (rng() % 4 == 0 ? 40000.0 : 4000.0) : 60.0;
    const std::uint32_t fastest = longer ? 600 : 400;
    settings.accel = static_cast<std::uint32_t>(pick(rng, 1, 30));
    settings.start_speed = static_cast<std::uint32_t>(pick(rng, 1, 30));
    settings.high_speed = 2040;

    std::vector<Path> round_paths;
    std::array<std::int32_t, 3> at{};
    auto add = [&](Path p) {
        for (int i = 0; i < 3; ++i)
            at[i] += p.move[i];
        round_paths.push_back(p);
    };
    if (reported_every != 0 && round % reported_every == 0) {
        Path p{Path::Line, 120000, 0};
        p.speed = 1;
        p.move = {120000, 0, 0};
        add(p);
    }
    for (int stepwise = 0; stepwise < 2; ++stepwise) {
        Path line{stepwise ? Path::StepLine : Path::Line, signed_pick(rng, scale / 4, scale),
                  signed_pick(rng, 0, scale)};
        line.speed = speed_for(rng, std::hypot(double(line.a), double(line.b)), max_ms, fastest);
        line.move = {line.a, line.b, 0};
        add(line);

        // An arc whose radius is from half the chord (a half turn) to twice the chord.
        Path arc{stepwise ? Path::StepArc : Path::Arc, signed_pick(rng, 1, scale),
                 signed_pick(rng, 1, scale)};
        const double chord = std::hypot(double(arc.a), double(arc.b));
        const auto radius = static_cast<std::int32_t>(
            std::ceil(chord / 2 * (1.0 + (rng() % 1000) / 1000.0)) + 1);
        arc.c = rng() % 3 == 0 ? -radius : radius;
        arc.direction = rng() % 2;
        arc.speed = speed_for(rng, kPi * radius * (arc.c < 0 ? 2 : 1), max_ms, fastest);
        arc.move = {arc.a, arc.b, 0};
        add(arc);

        Path circle{stepwise ? Path::StepCircle : Path::Circle, signed_pick(rng, 0, scale / 2),
                    signed_pick(rng, 1, scale / 2)};
        circle.direction = rng() % 2;
        circle.speed = speed_for(rng, 2 * kPi * std::hypot(double(circle.a), double(circle.b)),
                                 max_ms, fastest);
        add(circle); // a full circle ends where it began
    }
    Path xyz{Path::Xyz, signed_pick(rng, 0, scale), signed_pick(rng, 0, scale),
             signed_pick(rng, 1, scale / 2)};
    xyz.speed = speed_for(rng, std::hypot(double(xyz.a), double(xyz.b), double(xyz.c)), max_ms,
                          fastest);
    xyz.move = {xyz.a, xyz.b, xyz.c};
    add(xyz);

    // Back to where the round began, X and Y together and Z on the way.
    Path back{Path::Xyz, -at[0], -at[1], -at[2]};
    back.speed = speed_for(rng, std::hypot(double(at[0]), double(at[1]), double(at[2])), max_ms,
                           fastest);
    back.move = {-at[0], -at[1], -at[2]};
    if (at != std::array<std::int32_t, 3>{})
        round_paths.push_back(back);
    return round_paths;
}

} // namespace soak
