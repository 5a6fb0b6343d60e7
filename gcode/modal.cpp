// modal.cpp - sorting a line's words into their modal groups.
#include "gcode/modal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace korva3_gcode {

namespace {

const char *const kGroupNames[kGroups] = {
    "motion", "non-modal", "plane", "distance mode", "arc distance mode", "lathe mode",
    "feed mode", "units",
    "cutter compensation", "tool length", "coordinate system", "path control",
    "canned cycle return mode", "stop",
    "tool change", "spindle", "coolant"};

struct Code {
    char letter;
    int code10; // the number times ten: G92 is 920
    Group group;
};

const Code kCodes[] = {
    {'G', kRapid, Motion},            {'G', kLinear, Motion},      {'G', kClockwise, Motion},
    {'G', kCounterClockwise, Motion}, {'G', kMotionOff, Motion},   {'G', kDwell, NonModal},
    {'G', kSetOffset, NonModal},      {'G', kClearOffset, NonModal}, {'G', kSuspendOffset, NonModal},
    {'G', kRestoreOffset, NonModal},  {'G', kSetCoords, NonModal}, {'G', kHome, NonModal},
    {'G', kSecondHome, NonModal},     {'G', kMachineCoords, NonModal},
    {'G', kLocalOffset, NonModal},    {'M', kSetTool, ToolChange},
    {'G', kStoreHome, NonModal},      {'G', kStoreSecondHome, NonModal},
    {'G', 550, Coords}, {'G', 560, Coords}, {'G', 570, Coords}, {'G', 580, Coords},
    {'G', 590, Coords}, {'G', 591, Coords}, {'G', 592, Coords}, {'G', 593, Coords},
    {'G', kPlaneXY, Plane},      {'G', kPlaneXZ, Plane},
    {'G', kPlaneYZ, Plane},           {'G', kAbsolute, Distance},  {'G', kRelative, Distance},
    {'G', kPerMinute, FeedMode},      {'G', kInches, Units},       {'G', kMillimetres, Units},
    {'G', kCutterOff, Cutter},        {'G', kLengthOff, Length},
    {'G', kLengthOffset, Length},     {'G', kLengthDynamic, Length}, {'M', kToolChange, ToolChange},   {'G', kFirstCoords, Coords},
    {'G', kExactStop, PathControl},   {'G', kExactPath, PathControl}, {'G', kBlend, PathControl},
    {'M', kPause, Stop},              {'M', kEnd, Stop},           {'M', kEndAndRewind, Stop},
    {'M', kOptionalPause, Stop},      {'M', kPalletPause, Stop},
    {'G', kArcAbsolute, ArcDistance}, {'G', kArcRelative, ArcDistance}, {'G', kRadius, LatheMode},
    {'M', kSpindleOn, Spindle},       {'M', kSpindleOff, Spindle}, {'M', kMistOn, Coolant},
    {'M', kFloodOn, Coolant},         {'M', kCoolantOff, Coolant},
    {'G', kChipBreak, Motion},        {'G', kDrill, Motion},       {'G', kDrillDwell, Motion},
    {'G', kPeck, Motion},             {'G', kBore, Motion},        {'G', kBoreDwell, Motion},
    {'G', kRetractInitial, Retract},  {'G', kRetractR, Retract},
};

const char *const kCompensation =
    "cutter compensation: have the CAM system write the path already compensated";

// Why a known word is refused.
const std::map<std::pair<char, int>, const char *> kRefused = {
    {{'G', kCutterLeft}, kCompensation},            {{'G', kCutterRight}, kCompensation},
    {{'G', 411}, kCompensation},                    {{'G', 421}, kCompensation}, // dynamic
    {{'G', kInverseTime}, "inverse time feed"},     {{'G', kPerRevolution}, "feed per revolution"},
    {{'M', kSpindleReverse}, "reverse spindle"},
    {{'M', 1040}, "a 3D printer's: the hot end's temperature"},
    {{'M', 1090}, "a 3D printer's: the hot end's temperature, waited for"},
    {{'M', 1400}, "a 3D printer's: the bed's temperature"},
    {{'M', 1900}, "a 3D printer's: the bed's temperature, waited for"},
    {{'M', 1060}, "a 3D printer's: the fan on"},
    {{'M', 1070}, "a 3D printer's: the fan off"},
    {{'M', 820}, "a 3D printer's: the extruder in absolute mode"},
    {{'M', 830}, "a 3D printer's: the extruder in relative mode"},
    {{'M', 840}, "a 3D printer's: the motors off"},
    {{'G', kDiameter}, "lathe diameter mode: X is a radius here (G8)"},
    {{'G', 740}, "tapping: the spindle is an on/off output here"},
    {{'G', 840}, "tapping: the spindle is an on/off output here"},
    {{'G', 860}, "boring with the spindle stopped: the spindle is an on/off output here"},
    {{'G', 870}, "back boring"},
    {{'G', 880}, "boring with the spindle stopped: the spindle is an on/off output here"},
};

// Why a letter is not read.
std::string letter_refused(char letter)
{
    std::string why = std::string("'") + letter + "' words are not supported";
    if (std::string("ABCUVW").find(letter) != std::string::npos)
        return why + " (the card has X, Y and Z)";
    if (letter == 'E')
        return why + " (an extruder's axis)";
    return why;
}

} // namespace

std::string number_text(double v, int decimals)
{
    char buf[32];
    if (decimals < 0)
        std::snprintf(buf, sizeof buf, "%g", v);
    else
        std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string word_text(char letter, int code10)
{
    return std::string(1, letter) + number_text(code10 / 10.0);
}

bool sort_words(const Block &block, LineWords &l, std::vector<std::string> &errors)
{
    const size_t before = errors.size();
    for (const Word &w : block.words) {
        if (w.letter != 'G' && w.letter != 'M') {
            if (std::string("XYZIJKRPQFSLTH").find(w.letter) == std::string::npos)
                errors.push_back(letter_refused(w.letter));
            else if (l.values.count(w.letter))
                errors.push_back(std::string(1, w.letter) + " twice on one line");
            else
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
            errors.push_back(std::string(1, w.letter) + number_text(w.value) + " is not supported" +
                             (why != kRefused.end() ? std::string(" (") + why->second + ")" : ""));
            continue;
        }
        std::optional<int> &slot = l.codes[code->group];
        if (code->group == Coolant && code10 != kCoolantOff) { // M7 and M8 may stand together
            if (slot && *slot == kCoolantOff) {
                errors.push_back("M9 and " + word_text('M', code10) + " on one line");
                continue;
            }
            l.coolant_on[code10 == kFloodOn] = true;
            slot = code10;
            continue;
        }
        if (slot && code->group == Motion && (*slot == kMotionOff || code10 == kMotionOff) &&
            std::max(*slot, code10) == kMotionOff && std::min(*slot, code10) <= kCounterClockwise) {
            slot = std::min(*slot, code10); // "G0 G80" (a CAM header): the move's mode, as LinuxCNC
            continue;
        }
        if (slot) {
            errors.push_back(word_text(w.letter, *slot) + " and " + word_text(w.letter, code10) +
                             " on one line: both of the " + kGroupNames[code->group] + " group");
            continue;
        }
        slot = code10;
    }
    return errors.size() == before;
}

} // namespace korva3_gcode
