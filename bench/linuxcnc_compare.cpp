// linuxcnc_compare.cpp - the speed programs (speed_programs.h) planned at both limit sets
// and run on the virtual card, beside LinuxCNC's times of the same programs
// (bench/linuxcnc_times.py writes them); or the programs written out for LinuxCNC to run.
#include "linuxcnc_compare.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "gcode/path_moves.h"
#include "gcode/program.h"
#include "path_check.h"
#include "speed_programs.h"

namespace {

namespace kp = korva3_planner;
using namespace korva3_gcode;
using namespace path_check;

// The limit sets the speed programs run at: per axis mm/min and mm/s^2, G64 P mm.
struct LimitSet {
    const char *name;
    double feed_mm_min, accel_mm_s2, tolerance_mm;
};
constexpr LimitSet kLimitSets[] = {{"6000/500/P0.01", 6000, 500, 0.01},
                                   {"3000/200/P0.05", 3000, 200, 0.05}};

// The file name a program is written to: its name, spaces as '_'.
std::string file_name(const LimitSet &set, const std::string &name)
{
    std::string f = std::string(set.name) + "_" + name + ".ngc";
    for (char &c : f)
        if (c == ' ' || c == '/')
            c = '_';
    return f;
}

} // namespace

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
