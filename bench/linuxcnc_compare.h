// linuxcnc_compare.h - the planner beside LinuxCNC's on the speed programs.
#ifndef KORVA3_BENCH_LINUXCNC_COMPARE_H
#define KORVA3_BENCH_LINUXCNC_COMPARE_H

#include <map>
#include <string>

// LinuxCNC's times from `path`: lines "limit set<TAB>program<TAB>seconds".
std::map<std::string, double> read_times(const char *path);

// The programs whose times depend on curves and kinks, at both limit sets: korva3's
// planned and card times, the bound, violations and distance from the path, and
// LinuxCNC's time where `times` has it. With `write_dir`, only writes the programs there
// (as .ngc files) for LinuxCNC to run.
void compare(const std::map<std::string, double> &times, const char *write_dir);

#endif
