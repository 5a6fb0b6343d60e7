// functions.cpp - the table of the library's functions a job can call.
#include "job/functions.h"

#include <sstream>

#include "korva3.h"

namespace korva3_tool {

namespace {

// Arguments arrive as int64_t, already checked to fit their parameter's kind.
inline uint32_t U(const int64_t *a, int i) { return static_cast<uint32_t>(a[i]); }
inline int32_t S(const int64_t *a, int i) { return static_cast<int32_t>(a[i]); }

#define NONE(expr) [](const int64_t *a) -> int64_t { (void)a; expr; return 0; }
#define VALUE(expr) [](const int64_t *a) -> int64_t { (void)a; return (expr); }

const std::vector<Function> kFunctions = {
    // Set-up
    {"INITIAL", "", Result::Unsigned, VALUE(KORVA3_INITIAL())},
    {"END", "", Result::None, NONE(KORVA3_END())},
    {"REGISTRATION", "card id", Result::Unsigned, VALUE(KORVA3_REGISTRATION(U(a, 0), U(a, 1)))},
    // Direct registers
    {"DI", "card", Result::Bits, VALUE(KORVA3_DI(U(a, 0)))},
    {"DO", "card value", Result::None, NONE(KORVA3_DO(U(a, 0), U(a, 1)))},
    {"MSC", "card", Result::Bits, VALUE(KORVA3_MSC(U(a, 0)))},
    {"WAIT_X", "card", Result::None, NONE(KORVA3_WAIT_X(U(a, 0)))},
    {"WAIT_Y", "card", Result::None, NONE(KORVA3_WAIT_Y(U(a, 0)))},
    {"WAIT_Z", "card", Result::None, NONE(KORVA3_WAIT_Z(U(a, 0)))},
    {"IS_X_STOP", "card", Result::Unsigned, VALUE(KORVA3_IS_X_STOP(U(a, 0)))},
    {"IS_Y_STOP", "card", Result::Unsigned, VALUE(KORVA3_IS_Y_STOP(U(a, 0)))},
    {"IS_Z_STOP", "card", Result::Unsigned, VALUE(KORVA3_IS_Z_STOP(U(a, 0)))},
    {"RESET_SYSTEM", "card", Result::None, NONE(KORVA3_RESET_SYSTEM(U(a, 0)))},
    {"STOP_ALL", "card", Result::None, NONE(KORVA3_STOP_ALL(U(a, 0)))},
    {"EMG_STOP", "card", Result::None, NONE(KORVA3_EMG_STOP(U(a, 0)))},
    // Configuration
    {"SET_CONTROL_MODE", "card x_mode y_mode z_mode", Result::None,
     NONE(KORVA3_SET_CONTROL_MODE(U(a, 0), U(a, 1), U(a, 2), U(a, 3)))},
    {"SET_VAR", "card card_var accel start_speed high_speed spare_var", Result::None,
     NONE(KORVA3_SET_VAR(U(a, 0), U(a, 1), U(a, 2), U(a, 3), U(a, 4), U(a, 5)))},
    {"SET_DEFDIR", "card x_dir y_dir z_dir", Result::None,
     NONE(KORVA3_SET_DEFDIR(U(a, 0), U(a, 1), U(a, 2), U(a, 3)))},
    {"SET_SERVO_ON", "card x_on y_on z_on", Result::None,
     NONE(KORVA3_SET_SERVO_ON(U(a, 0), U(a, 1), U(a, 2), U(a, 3)))},
    {"SET_ZERO", "card axis", Result::None, NONE(KORVA3_SET_ZERO(U(a, 0), U(a, 1)))},
    {"PRESET_POSITION", "card axis -position", Result::None,
     NONE(KORVA3_PRESET_POSITION(U(a, 0), U(a, 1), S(a, 2)))},
    {"SET_NC", "card nc", Result::None, NONE(KORVA3_SET_NC(U(a, 0), U(a, 1)))},
    // Motion
    {"STOP", "card axis", Result::None, NONE(KORVA3_STOP(U(a, 0), U(a, 1)))},
    {"DEC_STOP", "card axis", Result::None, NONE(KORVA3_DEC_STOP(U(a, 0), U(a, 1)))},
    {"BACK_HOME", "card axis home_byte1 home_byte2", Result::None,
     NONE(KORVA3_BACK_HOME(U(a, 0), U(a, 1), U(a, 2), U(a, 3)))},
    {"BACK_HOME01", "card axis home_byte1", Result::None,
     NONE(KORVA3_BACK_HOME01(U(a, 0), U(a, 1), U(a, 2)))},
    {"PULSE_MOVE", "card axis -pulses speed", Result::None,
     NONE(KORVA3_PULSE_MOVE(U(a, 0), U(a, 1), S(a, 2), U(a, 3)))},
    {"INTP_PULSE", "card -x_pulses -y_pulses -z_pulses", Result::None,
     NONE(KORVA3_INTP_PULSE(U(a, 0), S(a, 1), S(a, 2), S(a, 3)))},
    {"CONSTANT_SPEED", "card axis direction speed", Result::None,
     NONE(KORVA3_CONSTANT_SPEED(U(a, 0), U(a, 1), U(a, 2), U(a, 3)))},
    // Blocking interpolation
    {"INTP_XYZ", "card -dx -dy -dz speed", Result::None,
     NONE(KORVA3_INTP_XYZ(U(a, 0), S(a, 1), S(a, 2), S(a, 3), U(a, 4)))},
    {"INTP_LINE01", "card plane -du -dv speed", Result::None,
     NONE(KORVA3_INTP_LINE01(U(a, 0), U(a, 1), S(a, 2), S(a, 3), U(a, 4)))},
    {"INTP_LINE", "card -du -dv speed", Result::None,
     NONE(KORVA3_INTP_LINE(U(a, 0), S(a, 1), S(a, 2), U(a, 3)))},
    {"INTP_CIRCLE01", "card plane -center_u -center_v direction speed", Result::None,
     NONE(KORVA3_INTP_CIRCLE01(U(a, 0), U(a, 1), S(a, 2), S(a, 3), U(a, 4), U(a, 5)))},
    {"INTP_CIRCLE", "card -center_u -center_v direction speed", Result::None,
     NONE(KORVA3_INTP_CIRCLE(U(a, 0), S(a, 1), S(a, 2), U(a, 3), U(a, 4)))},
    {"INTP_ARC01", "card plane -end_u -end_v -radius direction speed", Result::None,
     NONE(KORVA3_INTP_ARC01(U(a, 0), U(a, 1), S(a, 2), S(a, 3), S(a, 4), U(a, 5), U(a, 6)))},
    {"INTP_ARC", "card -end_u -end_v -radius direction speed", Result::None,
     NONE(KORVA3_INTP_ARC(U(a, 0), S(a, 1), S(a, 2), S(a, 3), U(a, 4), U(a, 5)))},
    // Stepwise interpolation
    {"INTP_XYZ02", "card -dx -dy -dz speed no_ramp", Result::Unsigned,
     VALUE(KORVA3_INTP_XYZ02(U(a, 0), S(a, 1), S(a, 2), S(a, 3), U(a, 4), U(a, 5)))},
    {"INTP_LINE02", "card plane -du -dv speed no_ramp", Result::Unsigned,
     VALUE(KORVA3_INTP_LINE02(U(a, 0), U(a, 1), S(a, 2), S(a, 3), U(a, 4), U(a, 5)))},
    {"INTP_CIRCLE02", "card plane -center_u -center_v direction speed no_ramp",
     Result::Unsigned,
     VALUE(KORVA3_INTP_CIRCLE02(U(a, 0), U(a, 1), S(a, 2), S(a, 3), U(a, 4), U(a, 5),
                                U(a, 6)))},
    {"INTP_ARC02", "card plane -end_u -end_v -radius direction speed no_ramp",
     Result::Unsigned,
     VALUE(KORVA3_INTP_ARC02(U(a, 0), U(a, 1), S(a, 2), S(a, 3), S(a, 4), U(a, 5), U(a, 6),
                             U(a, 7)))},
    {"INTP_STOP", "", Result::Unsigned, VALUE(KORVA3_INTP_STOP())},
    {"INTP_ONLINE_SETSPEED", "speed", Result::Unsigned,
     VALUE(KORVA3_INTP_ONLINE_SETSPEED(U(a, 0)))},
    // Status
    {"GET_CARD", "card", Result::Bits, VALUE(KORVA3_GET_CARD(U(a, 0)))},
    {"GET_SYS", "card", Result::Bits, VALUE(KORVA3_GET_SYS(U(a, 0)))},
    {"GET_LIMIT", "card", Result::Bits, VALUE(KORVA3_GET_LIMIT(U(a, 0)))},
    {"GET_P1", "card", Result::Bits, VALUE(KORVA3_GET_P1(U(a, 0)))},
    {"GET_XC", "card", Result::Signed, VALUE(KORVA3_GET_XC(U(a, 0)))},
    {"GET_XP", "card", Result::Signed, VALUE(KORVA3_GET_XP(U(a, 0)))},
    {"GET_YC", "card", Result::Signed, VALUE(KORVA3_GET_YC(U(a, 0)))},
    {"GET_YP", "card", Result::Signed, VALUE(KORVA3_GET_YP(U(a, 0)))},
    {"GET_ZC", "card", Result::Signed, VALUE(KORVA3_GET_ZC(U(a, 0)))},
    {"GET_ZP", "card", Result::Signed, VALUE(KORVA3_GET_ZP(U(a, 0)))},
};

#undef NONE
#undef VALUE

} // namespace

const std::vector<Function> &functions() { return kFunctions; }

const Function *find_function(const std::string &name)
{
    for (const Function &f : kFunctions)
        if (name == f.name)
            return &f;
    return nullptr;
}

std::vector<Param> params_of(const Function &f)
{
    std::vector<Param> out;
    std::istringstream words(f.params);
    std::string w;
    while (words >> w) {
        if (w[0] == '-')
            out.push_back({w.substr(1), true});
        else
            out.push_back({w, false});
    }
    return out;
}

} // namespace korva3_tool
