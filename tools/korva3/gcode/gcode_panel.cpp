// gcode_panel.cpp - a G-code run on the panel: what it shows, what the operator asks.
#include "gcode/gcode_panel.h"

#include <cmath>
#include <thread>

#include <nlohmann/json.hpp>

#include "machine/panel_job.h"

namespace korva3_tool {

namespace {

using nlohmann::json;
namespace kc = korva3_control;

constexpr std::chrono::milliseconds kPublishEvery{50}; // wall clock
constexpr int kListBefore = 3, kListAfter = 6;         // lines around the current one

double round_to(double v, double step) { return std::round(v / step) * step; }

// The page's words for the controller's state.
const char *page_state(const kc::Snapshot &s, bool started)
{
    if (!started)
        return "waiting for cycle start";
    switch (s.state) {
    case kc::State::Running: return "running";
    case kc::State::Holding: return "holding";
    case kc::State::Held: return s.paused ? "paused" : "held";
    case kc::State::Stopping: return "stopping";
    default: return "ended";
    }
}

} // namespace

GcodePanel::GcodePanel(std::shared_ptr<const kc::ProgramCheck> check,
                       const korva3_gcode::Settings &settings, const std::string &path,
                       bool takes_start)
    : check_(std::move(check)), set_(settings), listing_(path), takes_start_(takes_start)
{
}

void GcodePanel::describe(const std::array<int32_t, 3> &origin)
{
    json path = json::array();
    for (const kc::OutlinePoint &p : check_->outline.points())
        path.push_back({round_to(p.mm[0], 1e-3), round_to(p.mm[1], 1e-3), p.rapid ? 1 : 0});
    description_ = json{{"name", check_->name},
                        {"kind", "gcode"},
                        {"card", 0},
                        {"lines", check_->lines},
                        {"scale", set_.scale},
                        {"origin", origin},
                        {"planned_ms", std::llround(check_->planned_ms)},
                        {"path", std::move(path)}}
                       .dump();
    uint32_t controls = machine::kTakesOverride | machine::kTakesHold | machine::kTakesStop;
    if (takes_start_)
        controls |= machine::kTakesStart;
    machine::panel_describe_job(description_, controls);
}

void GcodePanel::follow(kc::Controller &controller)
{
    uint32_t percent = 100;
    const uint32_t wants = machine::panel_job_requests(percent);
    const uint32_t pressed = wants & ~wants_; // newly asked
    kc::Request r;
    if (percent != override_) {
        r.ask = kc::Ask::Override;
        r.number = percent;
        controller.post(r);
        override_ = percent;
    }
    if (pressed & machine::kWantsStart) {
        r.ask = kc::Ask::CycleStart;
        controller.post(r);
    }
    if (pressed & machine::kWantsStop) {
        r.ask = kc::Ask::Stop;
        controller.post(r);
    } else if (pressed & machine::kWantsHold) {
        r.ask = kc::Ask::Hold;
        controller.post(r);
    } else if ((wants_ & machine::kWantsHold) && !(wants & machine::kWantsHold)) {
        r.ask = kc::Ask::Resume;
        controller.post(r);
    }
    wants_ = wants;
    const kc::Snapshot s = controller.snapshot();
    const bool changed = s.state != last_.state || s.override_percent != last_.override_percent ||
                         s.paused != last_.paused;
    publish(s, changed);
}

void GcodePanel::ended(const std::string &how, bool complete)
{
    end_ = how;
    complete_ = complete;
    machine::panel_describe_job(description_, 0); // the path stays, the controls go
    for (int tries = 0; tries < 100; tries++) { // the last state must not be lost
        next_publish_ = {};
        publish(last_, true);
        if (next_publish_ != std::chrono::steady_clock::time_point{})
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void GcodePanel::publish(const kc::Snapshot &s, bool now)
{
    last_ = s;
    const auto wall = std::chrono::steady_clock::now();
    if (!now && wall < next_publish_)
        return;
    const bool started = !takes_start_ || s.activity != kc::Activity::None || !end_.empty() ||
                         s.state != kc::State::Idle;
    const bool over = !end_.empty();
    const int line = s.line;
    const double total_ms = check_->planned_ms;
    const bool running = s.activity == kc::Activity::Program || (over && !complete_);
    const double left_ms = over && complete_ ? 0 : running ? s.left_s * 1000 : total_ms;
    json state{{"line", line},
               {"done", over && complete_ ? 1.0 : running ? s.progress : 0.0},
               {"left_ms", std::llround(left_ms)},
               {"programmed", std::round(s.programmed_mm_min)},
               {"feed", std::round(s.rapid ? s.programmed_mm_min
                                           : s.programmed_mm_min * s.override_percent / 100.0)},
               {"rapid", s.rapid},
               {"override", s.override_percent},
               {"state", over ? "ended" : page_state(s, started)}};
    if (over)
        state["end"] = end_;
    json list = json::array();
    for (const auto &[n, text] : listing_.lines(std::max(1, line) - kListBefore,
                                                std::max(1, line) + kListAfter))
        list.push_back({n, text});
    state["listing"] = std::move(list);
    if (machine::panel_publish_job(state.dump(-1, ' ', false, json::error_handler_t::replace)))
        next_publish_ = wall + kPublishEvery;
}

} // namespace korva3_tool
