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
 * asserts nothing. Then the speed programs beside LinuxCNC's times (linuxcnc_compare.h).
 */
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gcode/path_moves.h"
#include "gcode/program.h"
#include "linuxcnc_compare.h"
#include "path_check.h"
#include "planner/slicer.h"

namespace {

namespace kp = korva3_planner;
using namespace korva3_gcode;
using namespace path_check;

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
