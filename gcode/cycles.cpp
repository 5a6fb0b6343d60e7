// cycles.cpp - canned drilling cycles, as RS274/NGC (LinuxCNC) carries them out, turned
// into ordinary moves for the planner: rapids, feeds and dwells, each ending at rest.
//
// A cycle line drills L holes (one without L), in the XY plane (G17) only. First, when
// the series began below R, Z goes up to R by a rapid where the machine stands. For each:
//   a rapid to the hole: the first at the Z the machine stands at when that is above R,
//   the others (and the first from R or below) at the clear plane; a rapid down to R;
//   G81  feed to the bottom Z                          then a rapid out
//   G82  feed to the bottom, dwell P seconds            then a rapid out
//   G83  pecks of Q: feed Q deeper, rapid up to R, rapid down to 0.254 mm (0.010 in)
//        above the depth reached, feed on ...            then a rapid out
//   G73  pecks of Q, each followed by a rapid up of 0.254 mm (chip break)
//   G85  feed to the bottom, feed up to R               then a rapid out
//   G89  feed to the bottom, dwell P, feed out to the clear plane
// "Out" is the clear plane: R under G99 (the mode at the start); under G98 the higher of
// R and the initial level, the Z where the series of cycle lines began (the first cycle
// line since a motion mode other than a cycle; G98, G99 and other cycles keep it). Under
// G91, X and Y are increments, added again for each repeat; R is from the initial level
// and the bottom Z from R. Under G90 the repeats drill the same
// hole again. R, Z, Q and P stay in force (a line with X or Y alone drills the next
// hole) until G80 or another motion word.
#include <cmath>

#include "gcode/reader.h"

namespace korva3_gcode {

namespace {

constexpr double kPeckClearance = 0.254; // mm: G73's retract, G83's stop above the depth
constexpr double kMaxPecks = 100000;    // pecks times repeats on one line

} // namespace

bool Reader::z_to(const LineWords &l, double z, int motion)
{
    return go(l, {st_.pos[0], st_.pos[1], z}, motion);
}

// The cycle's words, checked: R, Z (and Q, P where the cycle needs them) from this line
// or the cycle's lines before; L a whole number 1 or more.
bool Reader::cycle_checks(const LineWords &l, int &repeats)
{
    const int g = st_.motion;
    const std::string name = word_text('G', g);
    if (st_.plane != kPlaneXY)
        return refuse(name + " in " + word_text('G', st_.plane) +
                      ": canned cycles drill along Z, in the XY plane (G17) only");
    if (has(l, 'Z')) // R, Q and P are kept by carry_out, from lines without axes too
        st_.cycle_words['Z'] = l.values.at('Z');
    auto given = [&](char c) { return st_.cycle_words.count(c) != 0; };
    if (!given('R'))
        return refuse(name + " needs R, the plane it starts from");
    if (!given('Z'))
        return refuse(name + " needs Z, the bottom of the hole");
    if ((g == kPeck || g == kChipBreak) &&
        (!given('Q') || !(st_.cycle_words['Q'] > 0)))
        return refuse(name + " needs Q, the depth of each peck, more than 0" +
                      (given('Q') ? " (Q" + number_text(st_.cycle_words['Q']) + ")" : ""));
    if ((g == kDrillDwell || g == kBoreDwell) && (!given('P') || st_.cycle_words['P'] < 0))
        return refuse(name + " needs P, the dwell at the bottom in seconds (0 or more)");
    repeats = 1;
    if (has(l, 'L')) {
        double n = l.values.at('L');
        if (!(n >= 1 && n == std::floor(n)))
            return refuse("L" + number_text(n) + ": the repeats are a whole number, 1 or more");
        repeats = static_cast<int>(n); // at most 1e9, as every word
    }
    if (!(st_.feed > 0) && !refused_)
        return refuse(name + " with no feed rate (F)");
    return true;
}

bool Reader::cycle(const LineWords &l)
{
    int repeats = 1;
    if (!cycle_checks(l, repeats))
        return false;
    const int g = st_.motion;
    const double u = unit();
    const MmPoint off = offset();
    if (!st_.cycle_series) { // the first line of a series: its Z is the initial level
        st_.cycle_series = true;
        st_.initial_z = st_.pos[2];
    }
    const double z0 = st_.initial_z;
    const double rw = st_.cycle_words['R'], zw = st_.cycle_words['Z'];
    const double r = st_.relative ? z0 + rw * u : rw * u + off[2];
    const double bottom = st_.relative ? r + zw * u : zw * u + off[2];
    if (r < bottom)
        return refuse(word_text('G', g) + ": R" + number_text(rw) +
                      " is below the hole's bottom (Z" + number_text(zw) + ")");
    if (g == kPeck || g == kChipBreak) {
        double pecks = std::ceil((r - bottom) / (st_.cycle_words['Q'] * u));
        if (pecks * repeats > kMaxPecks)
            return refuse(word_text('G', g) + ": " + number_text(pecks * repeats) +
                          " pecks on one line (at most " + number_text(kMaxPecks) + ")");
    } else if (repeats > kMaxPecks) {
        return refuse("L" + number_text(repeats) + ": at most " + number_text(kMaxPecks) +
                      " repeats");
    }
    const bool exact_stop = st_.exact_stop;
    st_.exact_stop = true; // every move of a cycle ends at rest
    double level = st_.pos[2]; // the first hole's approach
    double high = z0;          // G98's retract
    bool ok = true;
    if (z0 < r) { // the series began below R: up to R where the machine stands
        ok = z_to(l, r, kRapid);
        level = high = r;
    }
    const double clear = st_.retract_r ? r : high;
    MmPoint hole = st_.pos;
    for (int i = 0; i < repeats && ok; i++) {
        for (int a = 0; a < 2; a++)
            if (has(l, kAxes[a])) {
                double v = l.values.at(kAxes[a]) * u;
                hole[a] = st_.relative ? hole[a] + v : v + off[a];
            }
        // The first hole is reached at the Z the machine stands at when that is above R,
        // every other hole (and the first from R or below) at the clear plane.
        const double at = i == 0 && level > r ? level : clear;
        ok = go(l, {hole[0], hole[1], at}, kRapid) && (at <= r || z_to(l, r, kRapid)) &&
             drill_hole(l, r, bottom, clear);
    }
    st_.exact_stop = exact_stop;
    return ok;
}

// One hole, the machine at R above it: down to `bottom` and out to `clear` (machine mm).
bool Reader::drill_hole(const LineWords &l, double r, double bottom, double clear)
{
    const int g = st_.motion;
    if (g == kPeck || g == kChipBreak) {
        const double q = st_.cycle_words['Q'] * unit();
        const int pecks = static_cast<int>(std::ceil((r - bottom) / q - 1e-9));
        for (int k = 1; k <= pecks; k++) {
            double depth = std::fmax(r - k * q, bottom);
            if (!z_to(l, depth, kLinear))
                return false;
            if (k == pecks)
                break;
            if (g == kPeck && !z_to(l, r, kRapid))
                return false;
            if (!z_to(l, std::fmin(depth + kPeckClearance, r), kRapid))
                return false;
        }
    } else if (!z_to(l, bottom, kLinear)) {
        return false;
    }
    if (g == kDrillDwell || g == kBoreDwell)
        add_dwell(st_.cycle_words['P']);
    if (g == kBore && !z_to(l, r, kLinear))
        return false;
    if (g == kBoreDwell) // G89 feeds all the way out, as LinuxCNC
        return z_to(l, clear, kLinear);
    return z_to(l, clear, kRapid);
}

} // namespace korva3_gcode
