/*
 * planner_bench.cpp - the motion planner on programs of different kinds (generated
 * here): per program the planned machine time, its lower bound (each move's length
 * over its feed, limits aside), the host time per slice of the planner alone (the
 * least of five runs) given the whole program and fed one move at a time as a reader
 * feeds it, with the planned time and the most segments held when fed; then the
 * program streamed to the virtual card (virtual time): its time there, the underruns,
 * the limit violations of the positions the card executed (each axis's speed and change
 * of speed per slice against the machine's limits, with a pulse of rounding) and the
 * largest distance of an executed position from the programmed path. Reports figures;
 * asserts nothing.
 */
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gcode/path_moves.h"
#include "gcode/program.h"
#include "korva3.h"
#include "korva3_sim.h"
#include "planner/slicer.h"
#include "planner/stream.h"
#include "speed_programs.h"

namespace {

namespace kp = korva3_planner;
using namespace korva3_gcode;

struct Case {
    const char *name;
    std::string text;
    double scale; // pulses per mm
};

std::string few_long()
{
    return "G21 G90 F3000\nG1 X200\nG1 Y150\nG1 X0\nG1 Y0\nM2\n";
}

std::string short_segments(bool curving)
{
    std::string s = "G21 G90 F2000\n";
    char b[64];
    for (int i = 1; i <= 5000; i++) {
        double x = 0.02 * i, y = curving ? 20 * std::sin(x / 20) : 0;
        std::snprintf(b, sizeof b, "G1 X%.4f Y%.4f\n", x, y);
        s += b;
    }
    return s + "M2\n";
}

std::string arcs()
{
    std::string s = "G21 G90 F1500\nG1 X10\n";
    for (int i = 0; i < 50; i++)
        s += (i % 2 ? "G2" : "G3") + std::string(" X") + std::to_string(10 + 4 * (i + 1)) +
             " Y0 I2 J0\n";
    return s + "M2\n";
}

std::string plunges()
{
    std::string s = "G21 G90\n";
    for (int i = 0; i < 4; i++)
        s += "G0 X" + std::to_string(5 * i) + " Z1\nG1 Z-2 F25\n";
    return s + "G0 Z1\nM2\n";
}

// Steps of 0.0002 mm (2 pulses at 10000 pulses/mm) at full speed: braking from it
// takes more of them than the planner's window holds.
std::string tiny_steps()
{
    std::string s = "G21 G90 F6000\n";
    char b[64];
    for (int i = 1; i <= 60000; i++) {
        std::snprintf(b, sizeof b, "G1 X%.4f\n", 0.0002 * i);
        s += b;
    }
    return s + "M2\n";
}

std::string rapids()
{
    std::string s = "G21 G90\n";
    for (int i = 0; i < 40; i++)
        s += "G0 X" + std::to_string((i % 2) * 100) + " Y" + std::to_string(i * 2) + "\n";
    return s + "M2\n";
}

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

struct OnCard {
    double s = 0;           // from the first slice to the card at rest, virtual time
    uint64_t underruns = 0;
    uint64_t v_viol = 0, a_viol = 0;
    double farthest = 0;    // mm from the programmed path
};

// The program streamed to a virtual card; what the card executed, checked.
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

// The planner alone on `moves`: given at once, or fed one move at a time while it wants
// more (next() between, as a reader's caller does).
struct Host {
    double us_per_slice = 0; // host time, the least of five runs
    uint64_t slices = 0;
    size_t most_held = 0;    // segments at once
};

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

// The programs of different kinds on the default machine.
void kinds()
{
    std::vector<Case> cases = {{"few long moves", few_long(), 1000},
                               {"5000 collinear segments", short_segments(false), 1000},
                               {"5000 curving segments", short_segments(true), 1000},
                               {"50 arcs", arcs(), 1000},
                               {"plunges F25", plunges(), 100},
                               {"40 rapids", rapids(), 1000},
                               {"60000 steps of 0.0002 mm", tiny_steps(), 10000}};
    std::printf("%-26s %9s %9s %9s %8s %9s %9s %8s %7s %9s %9s %9s\n", "program", "planned s",
                "bound s", "card s", "slices", "us/slice", "fed us", "fed s", "held", "underruns",
                "viol v/a", "off mm");
    for (const Case &c : cases) {
        Settings s;
        s.scale = {c.scale, c.scale, c.scale};
        Program p;
        std::vector<std::string> errors;
        if (!read_program(c.name, c.text, s, p, errors)) {
            std::printf("%s: %s\n", c.name, errors.empty() ? "?" : errors[0].c_str());
            continue;
        }
        std::vector<kp::PathMove> moves = path_moves(p);
        kp::Limits l = planner_limits(s);
        Host whole = host(moves, l, false), fed = host(moves, l, true);
        OnCard card = on_card(moves, l);
        std::printf("%-26s %9.3f %9.3f %9.3f %8llu %9.3f %9.3f %8.3f %7zu %9llu %4llu/%-4llu "
                    "%9.4f\n",
                    c.name, whole.slices * kp::slice_s(l), lower_bound_s(moves), card.s,
                    (unsigned long long)whole.slices, whole.us_per_slice, fed.us_per_slice,
                    fed.slices * kp::slice_s(l), fed.most_held,
                    (unsigned long long)card.underruns, (unsigned long long)card.v_viol,
                    (unsigned long long)card.a_viol, card.farthest);
    }
    std::printf("window: at most %zu segments ahead, %zu bytes each: %.1f MB\n",
                kp::kMaxWindowSegments, kp::Window::kBytesPerSegment,
                kp::kMaxWindowSegments * kp::Window::kBytesPerSegment / 1e6);
}

// The limit sets the speed programs run at: per axis mm/min and mm/s^2, G64 P mm.
struct LimitSet {
    const char *name;
    double feed_mm_min, accel_mm_s2, tolerance_mm;
};
constexpr LimitSet kLimitSets[] = {{"6000/500/P0.01", 6000, 500, 0.01},
                                   {"3000/200/P0.05", 3000, 200, 0.05}};

// LinuxCNC's times from `path`: lines "limit set<TAB>program<TAB>seconds".
std::map<std::string, double> read_times(const char *path)
{
    std::map<std::string, double> t;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        size_t a = line.find('\t'), b = line.rfind('\t');
        if (a != std::string::npos && b > a)
            t[line.substr(0, b)] = std::atof(line.c_str() + b + 1);
    }
    return t;
}

// The file name a program is written to: its name, spaces as '_'.
std::string file_name(const LimitSet &set, const std::string &name)
{
    std::string f = std::string(set.name) + "_" + name + ".ngc";
    for (char &c : f)
        if (c == ' ' || c == '/')
            c = '_';
    return f;
}

// The programs whose times depend on curves and kinks, at both limit sets: korva3's
// planned and card times, the bound, violations and distance from the path, and
// LinuxCNC's time where `times` has it.
void compare(const std::map<std::string, double> &times, const char *write_dir)
{
    if (!write_dir)
        std::printf("\n%-16s %-24s %9s %9s %9s %9s %9s %9s %7s\n", "limits", "program",
                "planned s", "card s", "bound s", "viol v/a", "off mm", "LinuxCNC", "ratio");
    for (const LimitSet &set : kLimitSets)
        for (const speed_programs::Program &prog :
             speed_programs::all(set.feed_mm_min, set.tolerance_mm)) {
            if (write_dir) {
                std::ofstream(std::string(write_dir) + "/" + file_name(set, prog.name))
                    << prog.text;
                continue;
            }
            Settings s;
            s.max_velocity = {set.feed_mm_min, set.feed_mm_min, set.feed_mm_min};
            s.max_accel = {set.accel_mm_s2, set.accel_mm_s2, set.accel_mm_s2};
            s.rapid = set.feed_mm_min;
            s.path_tolerance = set.tolerance_mm;
            Program p;
            std::vector<std::string> errors;
            if (!read_program(prog.name.c_str(), prog.text, s, p, errors)) {
                std::printf("%s: %s\n", prog.name.c_str(), errors.empty() ? "?" : errors[0].c_str());
                continue;
            }
            std::vector<kp::PathMove> moves = path_moves(p);
            kp::Limits l = planner_limits(s);
            Host whole = host(moves, l, false);
            OnCard card = on_card(moves, l);
            double planned = whole.slices * kp::slice_s(l);
            auto t = times.find(std::string(set.name) + "\t" + prog.name);
            char lcnc[32] = "-", ratio[32] = "-";
            if (t != times.end() && t->second > 0) {
                std::snprintf(lcnc, sizeof lcnc, "%.3f", t->second);
                std::snprintf(ratio, sizeof ratio, "%.3f", planned / t->second);
            }
            std::printf("%-16s %-24s %9.3f %9.3f %9.3f %4llu/%-4llu %9.4f %9s %7s\n", set.name,
                        prog.name.c_str(), planned, card.s, lower_bound_s(moves),
                        (unsigned long long)card.v_viol, (unsigned long long)card.a_viol,
                        card.farthest, lcnc, ratio);
        }
}

} // namespace

// planner_bench [--write DIR] [--linuxcnc TIMES] [--compare-only]
//   --write DIR: writes the comparison's programs to DIR (as .ngc files) and ends;
//   --linuxcnc TIMES: LinuxCNC's times of them (bench/linuxcnc_times.py writes them).
int main(int argc, char **argv)
{
    const char *write_dir = nullptr, *times_file = nullptr;
    bool compare_only = false;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--write") && i + 1 < argc)
            write_dir = argv[++i];
        else if (!std::strcmp(argv[i], "--linuxcnc") && i + 1 < argc)
            times_file = argv[++i];
        else if (!std::strcmp(argv[i], "--compare-only"))
            compare_only = true;
        else {
            std::fprintf(stderr, "usage: planner_bench [--write DIR] [--linuxcnc TIMES] [--compare-only]\n");
            return 2;
        }
    }
    if (write_dir) {
        compare({}, write_dir);
        return 0;
    }
    if (!compare_only)
        kinds();
    compare(times_file ? read_times(times_file) : std::map<std::string, double>{}, nullptr);
    return 0;
}
