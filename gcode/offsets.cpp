// offsets.cpp - coordinate systems, as LinuxCNC keeps them: a program coordinate is the
// machine's (mm from where the card stood at the start) less the work offset in force
// (G54 .. G59.3, set by G10 L2 / L20 or the machine file), less G92's offset while it is
// in force, less the tool length on Z (G43). G53 moves in machine coordinates; G28 and
// G30 go, through an intermediate point if one is given, to their positions: the machine
// file's, or where the machine stood at the last G28.1 / G30.1.
#include <string>

#include "gcode/reader.h"

namespace korva3_gcode {

namespace {

const char *const kCoordNames[9] = {"G54", "G55", "G56", "G57", "G58", "G59",
                                    "G59.1", "G59.2", "G59.3"};

// G54 .. G59 are 540 .. 590, G59.1 .. G59.3 591 .. 593: the index 0 .. 8.
int coord_index(int code10) { return code10 <= 590 ? (code10 - 540) / 10 : code10 - 585; }

} // namespace

MmPoint Reader::offset() const
{
    MmPoint off = st_.coords[st_.coord];
    for (int a = 0; a < 3; a++)
        off[a] += st_.g92_on ? st_.g92[a] : 0;
    off[2] += st_.tool_length;
    return off;
}

void Reader::select_coords(int code)
{
    st_.coord = coord_index(code);
    coords_in_force();
}

void Reader::coords_in_force() { sum_.coords_used.insert(kCoordNames[st_.coord]); }

// G10 L2 P X Y Z: work offset P (1 = G54 .. 9 = G59.3; 0 = the one in force) gets these
// values, mm from the machine's zero; L20: the values that make the point where the
// machine stands read X Y Z in it. Axes not named keep theirs.
bool Reader::set_coords(const LineWords &l)
{
    const double L = has(l, 'L') ? l.values.at('L') : -1;
    const int kind = static_cast<int>(L);
    if (L == 1 || L == 10 || L == 11)
        return set_tool_table(l, kind);
    if (L != 2 && L != 20)
        return refuse("G10 needs L2 or L20 (work offsets) or L1, L10, L11 (tool lengths); "
                      "other L are not supported");
    const double p = has(l, 'P') ? l.values.at('P') : -1;
    if (p != static_cast<int>(p) || p < 0 || p > 9)
        return refuse("G10 L" + std::to_string(kind) + " needs P0 .. P9 (0: the offset in "
                                                        "force, 1: G54 .. 9: G59.3)");
    if (has(l, 'R') && l.values.at('R') != 0)
        return refuse("G10 R" + number_text(l.values.at('R')) +
                      " (a rotated coordinate system) is not supported; R0 is taken");
    const int n = p == 0 ? st_.coord : static_cast<int>(p) - 1;
    for (int a = 0; a < 3; a++) {
        if (!has(l, kAxes[a]))
            continue;
        double v = l.values.at(kAxes[a]) * unit();
        st_.coords[n][a] = kind == 2 ? v : offset_for(st_, a, v);
    }
    return true;
}

// G92 X Y Z: the point where the machine stands reads X Y Z.
void Reader::set_g92(const LineWords &l)
{
    for (int a = 0; a < 3; a++)
        if (has(l, kAxes[a]))
            st_.g92[a] = st_.pos[a] - st_.coords[st_.coord][a] - (a == 2 ? st_.tool_length : 0) -
                         l.values.at(kAxes[a]) * unit();
        else if (!st_.g92_on)
            st_.g92[a] = 0;
    st_.g92_on = true;
}

// G28, G30: at the rapid speed through X Y Z (program coordinates) if given, then to
// `position` on the axes named (all three when none is).
bool Reader::go_home(const LineWords &l, const MmPoint &position)
{
    bool named = has(l, 'X') || has(l, 'Y') || has(l, 'Z');
    if (named) {
        MmPoint through = st_.pos;
        const MmPoint off = offset();
        for (int a = 0; a < 3; a++)
            if (has(l, kAxes[a])) {
                double v = l.values.at(kAxes[a]) * unit();
                through[a] = st_.relative ? st_.pos[a] + v : v + off[a];
            }
        if (!go(l, through, kRapid))
            return false;
    }
    MmPoint home = st_.pos;
    for (int a = 0; a < 3; a++)
        if (!named || has(l, kAxes[a]))
            home[a] = position[a];
    return go(l, home, kRapid);
}

// G53: this line's G0 or G1 to X Y Z in machine coordinates (absolute in G91 too).
bool Reader::machine_move(const LineWords &l)
{
    if (st_.motion != kRapid && st_.motion != kLinear)
        return refuse("G53 moves only with G0 or G1 (" + word_text('G', st_.motion) +
                      " in force)");
    MmPoint target = st_.pos;
    for (int a = 0; a < 3; a++)
        if (has(l, kAxes[a]))
            target[a] = l.values.at(kAxes[a]) * unit();
    return go(l, target, st_.motion);
}

// The non-modal words other than G4, which take the line's X Y Z: false when the line
// is not to be read on.
bool Reader::non_modal(const LineWords &l)
{
    const int code = *l.codes[NonModal];
    const bool axes = has(l, 'X') || has(l, 'Y') || has(l, 'Z');
    switch (code) {
    case kSetOffset:
        if (!axes)
            return refuse("G92 needs X, Y or Z");
        set_g92(l);
        return true;
    case kLocalOffset: // G52: the offset G92 keeps, given as values, axes not named kept
        for (int a = 0; a < 3; a++)
            if (has(l, kAxes[a]))
                st_.g92[a] = l.values.at(kAxes[a]) * unit();
        st_.g92_on = true;
        return true;
    case kClearOffset:
        st_.g92 = MmPoint{};
        st_.g92_on = true;
        break;
    case kSuspendOffset:
        st_.g92_on = false;
        break;
    case kRestoreOffset:
        st_.g92_on = true;
        break;
    case kSetCoords:
        return set_coords(l);
    case kHome:
    case kSecondHome:
        return go_home(l, code == kHome ? st_.g28 : st_.g30);
    case kStoreHome:
        st_.g28 = st_.pos;
        break;
    case kStoreSecondHome:
        st_.g30 = st_.pos;
        break;
    case kMachineCoords:
        return machine_move(l);
    }
    if (axes)
        return refuse(word_text('G', code) + " takes no X, Y or Z");
    return true;
}

} // namespace korva3_gcode
