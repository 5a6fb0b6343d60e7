// settings.h - the machine a G-code program runs on: the scale of each axis, the card's
// slice period and ramps, the rapid speed, and which digital outputs the M words set.
#ifndef KORVA3_GCODE_SETTINGS_H
#define KORVA3_GCODE_SETTINGS_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace korva3_gcode {

// Digital outputs of the card (0..6) the spindle and coolant words switch; -1: none.
struct OutputTable {
    int spindle = 0; // on with M3, off with M5
    int mist = 1;    // on with M7, off with M9
    int flood = 2;   // on with M8, off with M9
};

struct Settings {
    std::array<double, 3> scale{{1000, 1000, 1000}}; // pulses per mm of X, Y, Z
    uint32_t slice_us = 1000;     // the card's slice period, microseconds
    double rapid = 6000;          // speed of G0 moves, mm/min
    // The library's own ramps (SET_VAR), read from older machine files; the planner's
    // limits below set the motion, so these have no effect.
    uint32_t accel = 10;          // pulses of path per slice, per slice (1..250)
    uint32_t start_speed = 10;    // pulses of path per slice of short paths (1..500)
    uint32_t card_var = 10;       // the card's own parameter (1..254)
    double arc_tolerance = 0;     // mm: an arc's radius at start and end may differ by
                                  // this much (or by 0.1 % of it, whichever is more);
                                  // 0: as LinuxCNC, 0.028 mm under G21, 0.0028 in under G20
    OutputTable outputs;
    // The motion planner's limits, per axis X, Y, Z:
    std::array<double, 3> max_velocity{{6000, 6000, 6000}}; // mm/min
    std::array<double, 3> max_accel{{500, 500, 500}};       // mm/s^2
    double path_tolerance = 0.01; // mm the path may leave the program's at a corner or on an arc
    // Work offsets G54..G59, G59.1..G59.3 at the program's start: mm of X, Y, Z from the
    // machine's zero (where the card stands when the program starts) to each's zero.
    std::array<std::array<double, 3>, 9> work_offsets{};
    // G28 and G30's positions, mm from the machine's zero.
    std::array<double, 3> g28{}, g30{};
    // The tool table: each tool's length (G43), mm, by its number 1..99999 (tool 0 is no
    // tool, of length 0).
    std::map<int, double> tool_lengths;
    // Folders searched for NAME.ngc when a program calls o<name> and holds no such sub
    // (before the program's own folder), as the machine file gives them: relative to
    // its folder.
    std::vector<std::string> subroutine_path;
};

// Reads a machine file (TOML) over `settings`: keys it does not hold keep their values.
//
//   slice_us = 1000            # the card's slice period
//   rapid = 6000               # mm/min
//   accel = 10                 # SET_VAR ramps
//   start_speed = 10
//   card_var = 10
//   arc_tolerance = 0.028      # mm (not given: 0.028 mm, or 0.0028 in under G20)
//   [scale]                    # pulses per mm
//   x = 1000
//   y = 1000
//   z = 400
//   path_tolerance = 0.01      # mm (the planner's corners and arc chords)
//   [max_velocity]             # mm/min, per axis (the planner)
//   x = 6000
//   [max_accel]                # mm/s^2, per axis (the planner)
//   x = 500
//   [offsets]                  # work offsets, mm from the machine's zero: g54 .. g59,
//   g54 = [0, 0, 0]            # g59_1 .. g59_3 (also "g59.1"); g28, g30: the positions
//   g28 = [0, 0, 50]           # G28 and G30 go to
//   [tools]                    # tool lengths (G43), mm: t1 .. t99999
//   t3 = 12.5
//   [outputs]                  # output bits 0..6, or -1 for none
//   spindle = 0
//   mist = 1
//   flood = 2
//   [gcode]
//   subroutine_path = ["subs", "/abs/dir"] # folders of o<name> sub files
//
// Returns false with a message ("FILE:LINE: ...") on a file that cannot be read, an
// unknown key, or a value out of range.
bool read_machine_file(const std::string &path, Settings &settings, std::string &error);

// The ranges a machine's settings are read within (a machine file's value outside one is
// refused with its line and the range): beyond them no motion could end in a finite
// time, or the planner's arithmetic would leave the numbers (infinity, 1e-300).
struct SettingRange {
    double low, high;   // both included
    const char *unit;
};
constexpr SettingRange kScaleRange{0.001, 1e6, "pulses per mm"};
constexpr SettingRange kVelocityRange{0.001, 1e6, "mm/min"};   // max_velocity, rapid
constexpr SettingRange kAccelRange{0.001, 1e7, "mm/s^2"};      // max_accel
constexpr SettingRange kToleranceRange{1e-6, 100, "mm"};       // path_tolerance, arc_tolerance
// The lowest feed a program may move at (F, after G20's inches): a micrometre a minute.
// Slower, a move of a few mm would take years; a lower F is an error of its line.
constexpr double kMinFeedMmMin = 0.001;

// True when `v` lies in `r` (never for NaN or infinity).
inline bool in_range(double v, const SettingRange &r) { return v >= r.low && v <= r.high; }
// "max_velocity.x: 0.001..1000000 mm/min".
std::string range_text(const std::string &key, const SettingRange &r);

// Applies "X=800,Y=800,Z=400" (any of the three, or one number for all) to the scale.
// False with a message on anything else, or a scale not above 0.
bool parse_scale(const std::string &text, Settings &settings, std::string &error);

// False with a message when a value lies outside its range (scale above 0 and at most
// 1e6, slice period 1..1000000 us, rapid above 0, ramps as the card takes them, outputs
// -1..6).
bool check_settings(const Settings &settings, std::string &error);

} // namespace korva3_gcode

#endif
