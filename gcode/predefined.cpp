// predefined.cpp - the parameters LinuxCNC predefines, from the session's state.
#include "gcode/predefined.h"

#include <map>

#include "gcode/modal.h"

namespace korva3_gcode {

namespace {

enum What {
    VMajor, VMinor, MotionMode, ArcPlaneMode, CComp, Metric, Imperial, Absolute, Incremental,
    InverseTime, PerMinute, PerRev, CoordSystem, ToolOffset, RetractR, RetractOldZ, RpmMode,
    CssMode, IjkAbsolute, LatheDiameter, LatheRadius, SpindleOn, SpindleCw, Mist, Flood,
    SpeedOverride, FeedOverride, AdaptiveFeed, FeedHold, Feed, Rpm, X, Y, Z, OtherAxis, AbsX,
    AbsY, AbsZ, CurrentTool, SelectedTool, Task, CallLevel, RemapLevel
};

const std::map<std::string, What> kNames = {
    {"_VMAJOR", VMajor}, {"_VMINOR", VMinor}, {"_MOTION_MODE", MotionMode}, {"_PLANE", ArcPlaneMode},
    {"_CCOMP", CComp}, {"_METRIC", Metric}, {"_IMPERIAL", Imperial}, {"_ABSOLUTE", Absolute},
    {"_INCREMENTAL", Incremental}, {"_INVERSE_TIME", InverseTime},
    {"_UNITS_PER_MINUTE", PerMinute}, {"_UNITS_PER_REV", PerRev},
    {"_COORD_SYSTEM", CoordSystem}, {"_TOOL_OFFSET", ToolOffset},
    {"_RETRACT_R_PLANE", RetractR}, {"_RETRACT_OLD_Z", RetractOldZ},
    {"_SPINDLE_RPM_MODE", RpmMode}, {"_SPINDLE_CSS_MODE", CssMode},
    {"_IJK_ABSOLUTE_MODE", IjkAbsolute}, {"_LATHE_DIAMETER_MODE", LatheDiameter},
    {"_LATHE_RADIUS_MODE", LatheRadius}, {"_SPINDLE_ON", SpindleOn}, {"_SPINDLE_CW", SpindleCw},
    {"_MIST", Mist}, {"_FLOOD", Flood}, {"_SPEED_OVERRIDE", SpeedOverride},
    {"_FEED_OVERRIDE", FeedOverride}, {"_ADAPTIVE_FEED", AdaptiveFeed},
    {"_FEED_HOLD", FeedHold}, {"_FEED", Feed}, {"_RPM", Rpm}, {"_X", X}, {"_Y", Y}, {"_Z", Z},
    {"_A", OtherAxis}, {"_B", OtherAxis}, {"_C", OtherAxis}, {"_U", OtherAxis},
    {"_V", OtherAxis}, {"_W", OtherAxis}, {"_ABS_X", AbsX}, {"_ABS_Y", AbsY}, {"_ABS_Z", AbsZ},
    {"_ABS_A", OtherAxis}, {"_ABS_B", OtherAxis}, {"_ABS_C", OtherAxis},
    {"_ABS_U", OtherAxis}, {"_ABS_V", OtherAxis}, {"_ABS_W", OtherAxis},
    {"_CURRENT_TOOL", CurrentTool}, {"_CURRENT_POCKET", CurrentTool},
    {"_SELECTED_TOOL", SelectedTool}, {"_SELECTED_POCKET", SelectedTool}, {"_TASK", Task},
    {"_CALL_LEVEL", CallLevel}, {"_REMAP_LEVEL", RemapLevel},
};

bool output_on(const State &st, int output) { return output >= 0 && (st.outputs >> output & 1u); }

// Program coordinates of the machine's position on `axis`, mm.
double program_mm(const State &st, int axis)
{
    return st.pos[axis] - st.coords[st.coord][axis] - (st.g92_on ? st.g92[axis] : 0) -
           (axis == 2 ? st.tool_length : 0);
}

bool numbered(const State &st, int n, double unit, double &v)
{
    auto axis_of = [](int first, int n) { return n - first; }; // 0 = X .. 8 = W
    if ((n >= 5161 && n <= 5169) || (n >= 5181 && n <= 5189)) {
        const int a = axis_of(n <= 5169 ? 5161 : 5181, n);
        v = a < 3 ? (n <= 5169 ? st.g28 : st.g30)[a] / unit : 0;
    } else if (n == 5210) {
        v = st.g92_on;
    } else if (n >= 5211 && n <= 5219) {
        const int a = axis_of(5211, n);
        v = a < 3 && st.g92_on ? st.g92[a] / unit : 0;
    } else if (n == 5220) {
        v = st.coord + 1;
    } else if (n >= 5221 && n <= 5390) {
        const int system = (n - 5221) / 20, a = (n - 5221) % 20;
        if (a > 9)
            return false; // between the systems: ordinary parameters
        v = a < 3 ? st.coords[system][a] / unit : 0;
    } else if (n == 5400) {
        v = st.tool;
    } else if (n >= 5401 && n <= 5410) {
        v = n == 5403 ? st.tool_length / unit : 0;
    } else if (n >= 5420 && n <= 5428) {
        const int a = axis_of(5420, n);
        v = a < 3 ? program_mm(st, a) / unit : 0;
    } else {
        return false;
    }
    return true;
}

} // namespace

bool predefined_value(const State &st, const Settings &set, const ParamRef &ref, double &v)
{
    const double unit = st.inches ? 25.4 : 1.0;
    if (ref.number)
        return numbered(st, ref.number, unit, v);
    if (ref.name.size() < 2 || ref.name[0] != '_')
        return false;
    auto it = kNames.find(ref.name);
    if (it == kNames.end())
        return false;
    switch (it->second) {
    case VMajor: v = 2; break;
    case VMinor: v = 9; break;
    case MotionMode: v = st.motion; break;
    case ArcPlaneMode: v = st.plane; break;
    case CComp: v = kCutterOff; break;
    case Metric: v = !st.inches; break;
    case Imperial: v = st.inches; break;
    case Absolute: v = !st.relative; break;
    case Incremental: v = st.relative; break;
    case InverseTime: case PerRev: case CssMode: case LatheDiameter: case AdaptiveFeed:
    case FeedHold: case OtherAxis: case RemapLevel: v = 0; break;
    case PerMinute: case RpmMode: case LatheRadius: case SpeedOverride: case FeedOverride:
    case Task: v = 1; break;
    case CoordSystem: v = kFirstCoords + (st.coord < 6 ? 10 * st.coord : 50 + st.coord - 5); break;
    case ToolOffset: v = st.tool_length != 0; break;
    case RetractR: v = st.retract_r; break;
    case RetractOldZ: v = !st.retract_r; break;
    case IjkAbsolute: v = st.arc_absolute; break;
    case SpindleOn: case SpindleCw: v = output_on(st, set.outputs.spindle); break;
    case Mist: v = output_on(st, set.outputs.mist); break;
    case Flood: v = output_on(st, set.outputs.flood); break;
    case Feed: v = st.f_word; break;
    case Rpm: v = st.rpm; break;
    case X: case Y: case Z: v = program_mm(st, it->second - X) / unit; break;
    case AbsX: case AbsY: case AbsZ: v = st.pos[it->second - AbsX] / unit; break;
    case CurrentTool: v = st.tool; break;
    case SelectedTool: v = st.selected; break;
    case CallLevel: return false; // the parameters' own (Parameters::get)
    }
    return true;
}

} // namespace korva3_gcode
