/*
 * planner_bench.cpp - the motion planner on programs of different kinds (generated
 * here): per program the planned machine time, its lower bound (each move's length
 * over its feed, limits aside), the limit violations of the planned slices (each
 * axis's speed and change of speed per slice against the machine's limits, with a
 * pulse of rounding), and the host time per slice. Reports figures; asserts nothing.
 */
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gcode/path_moves.h"
#include "gcode/program.h"
#include "planner/slicer.h"

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
        t += len / (m.feed / 60);
        at = m.end;
    }
    return t;
}

} // namespace

int main()
{
    std::vector<Case> cases = {{"few long moves", few_long(), 1000},
                               {"5000 collinear segments", short_segments(false), 1000},
                               {"5000 curving segments", short_segments(true), 1000},
                               {"50 arcs", arcs(), 1000},
                               {"plunges F25", plunges(), 100},
                               {"40 rapids", rapids(), 1000}};
    std::printf("%-26s %10s %10s %8s %8s %8s %12s\n", "program", "planned s", "bound s",
                "v viol", "a viol", "slices", "us/slice");
    for (const Case &c : cases) {
        Settings s;
        s.scale = {c.scale, c.scale, c.scale};
        Program p;
        std::vector<std::string> errors;
        if (!read_program(c.name, c.text, s, p, errors)) {
            std::printf("%s: %s\n", c.name, errors.empty() ? "?" : errors[0].c_str());
            continue;
        }
        std::vector<kp::PathMove> moves = path_moves(p, s);
        kp::Limits l = planner_limits(s);
        auto t0 = std::chrono::steady_clock::now();
        kp::Slicer slicer(moves, l);
        kp::Slice slice;
        uint32_t action;
        uint64_t n = 0, v_viol = 0, a_viol = 0;
        int32_t prev[3] = {0, 0, 0};
        for (kp::Next next; (next = slicer.next(slice, action)) != kp::Next::Done;) {
            if (next != kp::Next::Slice) {
                prev[0] = prev[1] = prev[2] = 0;
                continue;
            }
            n++;
            for (int a = 0; a < 3; a++) {
                double most_v = l.velocity[a] / 60 * l.scale[a] * kp::slice_s(l) + 1;
                double most_dv = l.accel[a] * l.scale[a] * kp::slice_s(l) * kp::slice_s(l) + 2;
                v_viol += std::abs(slice.pulses[a]) > most_v;
                a_viol += std::abs(slice.pulses[a] - prev[a]) > most_dv;
                prev[a] = slice.pulses[a];
            }
        }
        double host = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%-26s %10.3f %10.3f %8llu %8llu %8llu %12.3f\n", c.name,
                    n * kp::slice_s(l), lower_bound_s(moves), (unsigned long long)v_viol,
                    (unsigned long long)a_viol, (unsigned long long)n, host / n * 1e6);
    }
    return 0;
}
