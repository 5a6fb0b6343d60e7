// status_report.cpp - the '?' report.
#include "grbl/status_report.h"

#include <cmath>
#include <cstdio>

namespace korva3_grbl {

namespace kc = korva3_control;

std::string grbl_state(const kc::Snapshot &s, const SessionFlags &f)
{
    if (f.sleep)
        return "Sleep";
    if (s.state == kc::State::EStop || f.alarm)
        return "Alarm";
    switch (s.state) {
    case kc::State::Holding: return s.activity == kc::Activity::Jog ? "Jog" : "Hold:1";
    case kc::State::Held: return "Hold:0";
    case kc::State::Running:
    case kc::State::Stopping:
        if (s.activity == kc::Activity::Jog)
            return "Jog";
        if (s.activity == kc::Activity::Home)
            return "Home";
        return f.check ? "Check" : "Run";
    default:
        break;
    }
    if (f.idle_hold)
        return "Hold:0";
    return f.check ? "Check" : "Idle";
}

namespace {

std::string xyz(const std::array<double, 3> &v, bool inches)
{
    char text[96];
    const double k = inches ? 1 / 25.4 : 1;
    std::snprintf(text, sizeof text, inches ? "%.4f,%.4f,%.4f" : "%.3f,%.3f,%.3f", v[0] * k,
                  v[1] * k, v[2] * k);
    return text;
}

} // namespace

std::string StatusReporter::report(const kc::Snapshot &s, const SessionFlags &f, const Options &o)
{
    const bool moving = s.state == kc::State::Running || s.state == kc::State::Holding ||
                        s.state == kc::State::Stopping;
    std::string r = "<" + grbl_state(s, f);
    if (o.mask & 1)
        r += "|MPos:" + xyz(s.machine_mm, o.inches);
    else
        r += "|WPos:" + xyz(s.work_mm, o.inches);
    if (o.mask & 2)
        r += "|Bf:" + std::to_string(o.planner_free) + "," + std::to_string(o.rx_free);
    char fs[64];
    const double k = o.inches ? 1 / 25.4 : 1;
    std::snprintf(fs, sizeof fs, "|FS:%.0f,0", moving ? s.speed_mm_min * k : 0.0);
    r += fs;
    bool wco = false;
    if (wco_count_ > 0 && s.offset_mm == last_wco_) {
        wco_count_--;
    } else {
        r += "|WCO:" + xyz(s.offset_mm, o.inches);
        last_wco_ = s.offset_mm;
        wco_count_ = (moving ? 30 : 10) - 1;
        wco = true;
    }
    if (ov_count_ > 0 && o.overrides == last_ov_) {
        ov_count_--;
    } else if (wco) {
        ov_count_ = 0; // the next report carries it
    } else {
        r += "|Ov:" + std::to_string(o.overrides[0]) + "," + std::to_string(o.overrides[1]) +
             "," + std::to_string(o.overrides[2]);
        last_ov_ = o.overrides;
        ov_count_ = (moving ? 20 : 10) - 1;
        const kc::ModalView &m = s.modal;
        std::string a = std::string(m.spindle ? "S" : "") + (m.flood ? "F" : "") + (m.mist ? "M" : "");
        if (!a.empty())
            r += "|A:" + a;
    }
    return r + ">\r\n";
}

} // namespace korva3_grbl
