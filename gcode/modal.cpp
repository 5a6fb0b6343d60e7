// modal.cpp - sorting a line's words into their modal groups.
#include "gcode/modal.h"

#include <cmath>
#include <cstdio>
#include <map>

namespace korva3_gcode {

namespace {

const char *const kGroupNames[kGroups] = {
    "motion", "non-modal", "plane", "distance mode", "feed mode", "units",
    "cutter compensation", "tool length", "coordinate system", "path control", "stop",
    "spindle", "coolant"};

struct Code {
    char letter;
    int code10; // the number times ten: G92 is 920
    Group group;
};

const Code kCodes[] = {
    {'G', kRapid, Motion},            {'G', kLinear, Motion},      {'G', kClockwise, Motion},
    {'G', kCounterClockwise, Motion}, {'G', kMotionOff, Motion},   {'G', kDwell, NonModal},
    {'G', kSetOffset, NonModal},      {'G', kPlaneXY, Plane},      {'G', kPlaneXZ, Plane},
    {'G', kPlaneYZ, Plane},           {'G', kAbsolute, Distance},  {'G', kRelative, Distance},
    {'G', kPerMinute, FeedMode},      {'G', kInches, Units},       {'G', kMillimetres, Units},
    {'G', kCutterOff, Cutter},        {'G', kLengthOff, Length},   {'G', kFirstCoords, Coords},
    {'G', kExactStop, PathControl},   {'G', kExactPath, PathControl}, {'G', kBlend, PathControl},
    {'M', kPause, Stop},              {'M', kEnd, Stop},           {'M', kEndAndRewind, Stop},
    {'M', kSpindleOn, Spindle},       {'M', kSpindleOff, Spindle}, {'M', kMistOn, Coolant},
    {'M', kFloodOn, Coolant},         {'M', kCoolantOff, Coolant},
};

// Why a known word is refused.
const std::map<std::pair<char, int>, const char *> kRefused = {
    {{'G', kCutterLeft}, "cutter compensation"},    {{'G', kCutterRight}, "cutter compensation"},
    {{'G', kLengthOffset}, "tool length offsets"},  {{'G', kInverseTime}, "inverse time feed"},
    {{'G', kPerRevolution}, "feed per revolution"}, {{'G', kHome}, "homing"},
    {{'G', kSecondHome}, "homing"},                 {{'G', kMachineCoords}, "machine coordinates"},
    {{'M', kSpindleReverse}, "reverse spindle"},    {{'M', kToolChange}, "tool change"},
    {{'M', kOptionalPause}, "optional stop"},
};

bool fail(std::string &error, const std::string &what)
{
    error = what;
    return false;
}

} // namespace

std::string number_text(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string word_text(char letter, int code10)
{
    return std::string(1, letter) + number_text(code10 / 10.0);
}

bool sort_words(const Block &block, LineWords &l, std::string &error)
{
    for (const Word &w : block.words) {
        if (w.letter != 'G' && w.letter != 'M') {
            if (std::string("XYZIJKRPQFS").find(w.letter) == std::string::npos)
                return fail(error, std::string("'") + w.letter + "' words are not supported" +
                                       (w.letter == 'T' ? " (tool changes)"
                                        : std::string("ABCUVW").find(w.letter) != std::string::npos
                                            ? " (the card has X, Y and Z)"
                                            : ""));
            if (l.values.count(w.letter))
                return fail(error, std::string(1, w.letter) + " twice on one line");
            l.values[w.letter] = w.value;
            continue;
        }
        double tenfold = w.value * 10;
        int code10 = static_cast<int>(std::lround(tenfold));
        const Code *code = nullptr;
        for (const Code &c : kCodes)
            if (c.letter == w.letter && c.code10 == code10 && std::fabs(tenfold - code10) < 1e-6)
                code = &c;
        if (!code) {
            auto why = kRefused.find({w.letter, code10});
            return fail(error, std::string(1, w.letter) + number_text(w.value) +
                                   " is not supported" +
                                   (why != kRefused.end() ? std::string(" (") + why->second + ")"
                                                          : ""));
        }
        std::optional<int> &slot = l.codes[code->group];
        if (code->group == Coolant && code10 != kCoolantOff) { // M7 and M8 may stand together
            l.coolant_on[code10 == kFloodOn] = true;
            if (slot && *slot == kCoolantOff)
                return fail(error, "M9 and " + word_text('M', code10) + " on one line");
            slot = code10;
            continue;
        }
        if (slot)
            return fail(error, word_text(w.letter, *slot) + " and " + word_text(w.letter, code10) +
                                   " on one line: both of the " + kGroupNames[code->group] +
                                   " group");
        slot = code10;
    }
    return true;
}

} // namespace korva3_gcode
