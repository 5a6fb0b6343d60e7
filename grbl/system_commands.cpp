// system_commands.cpp - grbl's '$' lines: settings, reports, jogging, homing, check
// mode, unlocking, sleep and restoring.
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "grbl/grbl_codes.h"
#include "grbl/grbl_session.h"
#include "grbl/jog_command.h"

namespace korva3_grbl {

namespace kc = korva3_control;

namespace {

// Homing waits at most this long for the controller to report it done.
constexpr int kHomingLimitMs = 10 * 60 * 1000;

std::string error(int code) { return "error:" + std::to_string(code) + "\r\n"; }

std::string numbers(const std::array<double, 3> &v)
{
    char text[96];
    std::snprintf(text, sizeof text, "%.3f,%.3f,%.3f", v[0], v[1], v[2]);
    return text;
}

std::string number(double v, int decimals)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

// Spaces out, letters upper-case (as grbl keeps a line), for recognising the command.
std::string plain(const std::string &text)
{
    std::string out;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    return out;
}

// Streamed lines that move nothing keep the controller's work open this long at most.
constexpr int kSettleMs = 300;

} // namespace

kc::Snapshot GrblSession::settled() const
{
    kc::Snapshot s = controller_.snapshot();
    for (int waited = 0; waited < kSettleMs && s.state == kc::State::Running &&
                         s.activity == kc::Activity::Mdi && s.speed_mm_min == 0;
         waited += 5) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s = controller_.snapshot();
    }
    return s;
}

bool GrblSession::at_rest() const
{
    const kc::State s = settled().state;
    return s == kc::State::Idle || s == kc::State::Stopped || s == kc::State::EStop;
}

std::string GrblSession::system(const std::string &text, uint64_t generation)
{
    const std::string u = plain(text);
    if (u == "$")
        return "[HLP:$$ $# $G $I $N $x=val $Nx=line $J=line $SLP $C $X $H ~ ! ? ctrl-x]\r\nok\r\n";
    if (u.rfind("$J=", 0) == 0)
        return jog(text.substr(text.find('=') + 1), generation);
    if (u == "$G")
        return parser_state() + "ok\r\n";
    if (u == "$$") {
        const kc::State s = settled().state;
        if (s == kc::State::Running || s == kc::State::Holding || s == kc::State::Held)
            return error(kNotIdle);
        return settings_.report() + "ok\r\n";
    }
    if (u == "$C") {
        const kc::State s = settled().state;
        if (s != kc::State::Idle && s != kc::State::Stopped)
            return error(kNotIdle);
        if (check_) { // leaving check mode resets, as grbl does
            check_ = false;
            return "[MSG:Disabled]\r\nok\r\n\r\n" + std::string(kWelcome) + "\r\n";
        }
        if (alarm_)
            return error(kSystemGcLock);
        check_ = true;
        return "[MSG:Enabled]\r\nok\r\n";
    }
    if (u == "$X") {
        if (controller_.snapshot().state == kc::State::EStop) {
            const kc::Reply r = controller_.reset();
            if (!r.ok)
                return feedback(r.text) + error(kSystemGcLock);
        }
        const bool was = alarm_.exchange(false);
        return was ? "[MSG:Caution: Unlocked]\r\nok\r\n" : "ok\r\n";
    }
    if (u == "$#") // a report only: answered while moving too (grbl: error 8)
        return parameters() + "ok\r\n";
    // The rest need the machine at rest (Idle or Alarm).
    if (!at_rest() || idle_hold_)
        return error(kNotIdle);
    if (u == "$H")
        return home(generation);
    if (u == "$SLP") {
        controller_.mdi("M5 M9"); // spindle and coolant off
        sleep_ = true;
        return "[MSG:Sleeping]\r\nok\r\n";
    }
    if (u == "$I")
        return "[VER:1.1h.20190830:" + build_info_ + "]\r\n[OPT:V,15,128]\r\nok\r\n";
    if (u.rfind("$I=", 0) == 0) {
        build_info_ = text.substr(text.find('=') + 1);
        return "ok\r\n";
    }
    if (u == "$N") {
        std::string out;
        for (int n = 0; n < 2; n++)
            out += "$N" + std::to_string(n) + "=" + startup_lines_[n] + "\r\n";
        return out + "ok\r\n";
    }
    if (u == "$N0=" || u == "$N1=" || u.rfind("$N0=", 0) == 0 || u.rfind("$N1=", 0) == 0) {
        startup_lines_[u[2] - '0'] = text.substr(text.find('=') + 1); // kept, not run
        return "ok\r\n";
    }
    if (u == "$RST=$" || u == "$RST=#" || u == "$RST=*") {
        if (u != "$RST=#")
            settings_.restore();
        if (u != "$RST=$") { // the work offsets and G92 cleared
            for (int p = 1; p <= 6; p++)
                controller_.mdi("G10 L2 P" + std::to_string(p) + " X0 Y0 Z0");
            controller_.mdi("G92.1");
        }
        return "ok\r\n";
    }
    if (u.size() > 1 && std::isdigit(static_cast<unsigned char>(u[1]))) {
        const std::size_t eq = u.find('=');
        if (eq == std::string::npos)
            return error(kInvalidStatement);
        char *end = nullptr;
        const long n = std::strtol(u.c_str() + 1, &end, 10);
        if (end != u.c_str() + eq)
            return error(kInvalidStatement);
        const char *v = u.c_str() + eq + 1;
        const double value = std::strtod(v, &end);
        if (end == v || *end)
            return error(kBadNumberFormat);
        const int code = settings_.set(static_cast<int>(n), value);
        return code ? error(code) : "ok\r\n";
    }
    return error(kInvalidStatement);
}

std::string GrblSession::jog(const std::string &words, uint64_t generation)
{
    const kc::Snapshot s = settled();
    const bool jogging = s.activity == kc::Activity::Jog;
    if (alarm_ || sleep_ || s.state == kc::State::EStop)
        return error(kSystemGcLock);
    if (!jogging && s.state != kc::State::Idle && s.state != kc::State::Stopped)
        return error(kNotIdle);
    JogFrom from;
    // A jog that follows one still running starts where that one ends, as grbl's
    // planner has it.
    from.machine_mm = jogging ? jog_end_mm_ : s.machine_mm;
    from.offset_mm = s.offset_mm;
    from.inches = s.modal.units == "G20";
    from.relative = s.modal.distance == "G91";
    JogTarget t;
    if (const int code = read_jog(words, from, t))
        return error(code);
    kc::StreamedLine l;
    l.kind = kc::StreamedLine::Kind::Jog;
    l.text = "$J=" + words;
    l.target_mm = t.machine_mm;
    l.feed_mm_min = t.feed_mm_min;
    jog_cancelled_ = false;
    line_is_jog_ = true;
    jog_end_mm_ = t.machine_mm;
    const kc::Reply r = feed_.run(l);
    line_is_jog_ = false;
    if (r.ok || jog_cancelled_ || !current(generation))
        return "ok\r\n"; // a cancelled jog was taken, then flushed, as grbl does
    return feedback(r.text) + error(kInvalidJogCommand);
}

std::string GrblSession::home(uint64_t generation)
{
    kc::Request r;
    r.ask = kc::Ask::Home;
    r.axis = -1; // every axis: Z, then X, then Y
    const kc::Reply reply = controller_.ask(r);
    if (!reply.ok)
        return feedback(reply.text) + error(kSettingDisabled);
    bool began = false;
    for (int waited = 0; waited < kHomingLimitMs; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const kc::Snapshot s = controller_.snapshot();
        if (s.state == kc::State::EStop) {
            alarm_ = true;
            return "ALARM:" + std::to_string(kAlarmAbort) + "\r\n";
        }
        if (!current(generation))
            return "";
        began = began || s.activity == kc::Activity::Home;
        if ((began || waited >= 500) && s.activity == kc::Activity::None) {
            if (s.homed) {
                alarm_ = false;
                return "ok\r\n";
            }
            alarm_ = true;
            return feedback(s.error) + "ALARM:" + std::to_string(kAlarmHomingFailed) + "\r\n";
        }
    }
    return error(kSettingDisabled);
}

std::string GrblSession::parser_state() const
{
    const kc::ModalView m = controller_.snapshot().modal;
    std::string coolant = std::string(m.mist ? " M7" : "") + (m.flood ? " M8" : "");
    if (coolant.empty())
        coolant = " M9";
    return "[GC:" + m.motion + " " + m.coords + " " + m.plane + " " + m.units + " " + m.distance +
           " G94 " + (m.spindle ? "M3" : "M5") + coolant + " T" + std::to_string(m.tool) + " F" +
           number(m.feed, 0) + " S0]\r\n";
}

std::string GrblSession::parameters() const
{
    const kc::ModalView m = controller_.snapshot().modal;
    static const char *const kNames[] = {"G54", "G55", "G56", "G57", "G58", "G59"};
    std::string out;
    for (int c = 0; c < 6; c++)
        out += std::string("[") + kNames[c] + ":" + numbers(m.coords_mm[c]) + "]\r\n";
    out += "[G28:" + numbers(m.g28_mm) + "]\r\n";
    out += "[G30:" + numbers(m.g30_mm) + "]\r\n";
    out += "[G92:" + numbers(m.g92_mm) + "]\r\n";
    out += "[TLO:" + number(m.tool_length_mm, 3) + "]\r\n";
    out += "[PRB:0.000,0.000,0.000:0]\r\n";
    return out;
}

} // namespace korva3_grbl
