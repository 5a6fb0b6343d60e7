// gcode_panel.cpp - the controller on the panel: what it shows, what the operator asks.
#include "gcode/gcode_panel.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>

#include <nlohmann/json.hpp>

#include "gcode/panel_lines.h"
#include "machine/panel_job.h"

namespace korva3_tool {

namespace {

using nlohmann::json;
namespace kc = korva3_control;
namespace fs = std::filesystem;

constexpr std::chrono::milliseconds kPublishEvery{50}; // wall clock
constexpr int kListBefore = 3, kListAfter = 6;         // lines around the current one
constexpr std::size_t kAnswersKept = 6;                // the page finds its own among them
constexpr std::size_t kMaxTextBytes = 400;             // of a message or an answer
constexpr std::size_t kMaxPrograms = 200;              // listed from the program folder

double round_to(double v, double step) { return std::round(v / step) * step; }

std::string cut(const std::string &text)
{
    return text.size() <= kMaxTextBytes ? text : text.substr(0, kMaxTextBytes - 3) + "...";
}

json mm3(const std::array<double, 3> &v)
{
    return {round_to(v[0], 1e-4), round_to(v[1], 1e-4), round_to(v[2], 1e-4)};
}

// The programs in the machine's folder (G-code files by their usual endings), by name.
std::vector<std::string> list_programs(const std::string &dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    if (dir.empty())
        return names;
    for (const fs::directory_entry &e : fs::directory_iterator(dir, ec)) {
        const std::string ext = e.path().extension().string();
        if (e.is_regular_file(ec) && (ext == ".ngc" || ext == ".nc" || ext == ".gcode" || ext == ".tap"))
            names.push_back(e.path().filename().string());
        if (names.size() >= kMaxPrograms)
            break;
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The page's words for what the controller does.
std::string page_state(const kc::Snapshot &s, bool waiting)
{
    if (s.activity == kc::Activity::Program || s.state == kc::State::Holding ||
        s.state == kc::State::Held || s.state == kc::State::Stopping)
        switch (s.state) {
        case kc::State::Running: return "running";
        case kc::State::Holding: return "holding";
        case kc::State::Held: return s.paused ? "paused" : "held";
        case kc::State::Stopping: return "stopping";
        default: break;
        }
    if (s.state == kc::State::Running)
        return s.activity == kc::Activity::Jog    ? "jogging"
               : s.activity == kc::Activity::Home ? "homing"
                                                  : "MDI running";
    if (s.state == kc::State::EStop)
        return "e-stop";
    return waiting ? "waiting for cycle start" : kc::state_name(s.state);
}

} // namespace

GcodePanel::GcodePanel(std::shared_ptr<const kc::ProgramCheck> check,
                       const korva3_gcode::Settings &settings, const std::string &path,
                       bool takes_start, const std::string &programs)
    : check_(std::move(check)), set_(settings), path_(path), takes_start_(takes_start),
      programs_dir_(programs), programs_(list_programs(programs))
{
    if (check_)
        listing_ = std::make_unique<kc::ProgramListing>(path_);
}

void GcodePanel::describe(const std::array<int32_t, 3> &origin)
{
    origin_ = origin;
    json d{{"kind", check_ ? "gcode" : "machine"},
           {"card", 0},
           {"scale", set_.scale},
           {"origin", origin},
           {"programs", programs_},
           {"takes_start", takes_start_}};
    if (check_) {
        json path = json::array();
        for (const kc::OutlinePoint &p : check_->outline.points())
            path.push_back({round_to(p.mm[0], 1e-3), round_to(p.mm[1], 1e-3), p.rapid ? 1 : 0,
                            round_to(p.mm[2], 1e-3)});
        d["name"] = check_->name;
        d["lines"] = check_->lines;
        d["planned_ms"] = std::llround(check_->planned_ms);
        d["path"] = std::move(path);
    } else {
        d["name"] = "no program";
    }
    description_ = d.dump(-1, ' ', false, json::error_handler_t::replace);
    uint32_t controls = machine::kTakesOverride | machine::kTakesHold | machine::kTakesStop |
                        machine::kTakesLines;
    if (takes_start_ && check_)
        controls |= machine::kTakesStart;
    machine::panel_describe_job(description_, controls);
}

void GcodePanel::loaded(std::shared_ptr<const kc::ProgramCheck> check)
{
    check_ = std::move(check);
    listing_ = std::make_unique<kc::ProgramListing>(path_);
    takes_start_ = true;
    program_ran_ = false;
    at_line_ = 0;
    at_done_ = at_left_ms_ = 0;
    describe(origin_);
}

std::string GcodePanel::run_from_text(int n)
{
    if (!check_ || !listing_)
        return "refused: no program loaded";
    if (n < 1 || n > check_->lines)
        return "refused: the program has lines 1 to " + std::to_string(check_->lines);
    const auto lines = listing_->lines(n, n);
    const std::string text = lines.empty() ? "" : lines.front().second;
    return "line " + std::to_string(n) + ": " + text + " | lines 1 to " + std::to_string(n - 1) +
           " are read, nothing moves (modal state, offsets, tool, outputs); then up to the"
           " safe height, across to where line " + std::to_string(n) +
           " starts, spindle and coolant as the program has them there, down at its feed;"
           " then on to the end. Press \"run from here\" to start it.";
}

void GcodePanel::answer(long id, bool ok, const std::string &text)
{
    if (id <= 0)
        return;
    answers_.push_back({std::to_string(id), ok ? "1" : "0", cut(text)});
    answered_ = true;
    while (answers_.size() > kAnswersKept)
        answers_.pop_front();
}

void GcodePanel::take_lines(kc::Controller &controller, const kc::Snapshot &s)
{
    if (asked_id_ >= 0 && !asked_verb_.empty()) { // last turn's line: taken by now
        answer(asked_id_, s.error.empty(),
               s.error.empty() ? asked_verb_ + ": " + s.message : s.error);
        asked_verb_.clear();
    }
    std::string text;
    // One line a turn, so that each answer is its own; renewals of a held jog at once.
    while (machine::panel_take_line(text)) {
        PanelLine line;
        std::string why;
        if (!read_panel_line(text, set_, line, why)) {
            answer(line.id, false, "refused: " + why);
            continue;
        }
        if (line.show) {
            answer(line.id, check_ != nullptr, run_from_text(line.request.line));
            continue;
        }
        if (line.request.ask == kc::Ask::Load) {
            if (std::find(programs_.begin(), programs_.end(), line.name) == programs_.end()) {
                answer(line.id, false, "refused: no program " + line.name + " in the machine's folder");
                continue;
            }
            path_ = (fs::path(programs_dir_) / line.name).string();
            line.request.text = path_;
        }
        if (line.request.ask == kc::Ask::TouchOff || line.request.ask == kc::Ask::Mdi ||
            line.request.ask == kc::Ask::Home) // homing: a new machine zero
            offsets_touched_ = true;
        if (!controller.post(line.request)) {
            answer(line.id, false, "refused: the controller is busy");
            continue;
        }
        if (line.id > 0) {
            asked_id_ = line.id;
            asked_verb_ = text.substr(text.find(' ') + 1); // the line without its number
            break;
        }
    }
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
    take_lines(controller, s);
    if (!s.checking) {
        std::shared_ptr<const kc::ProgramCheck> pc = controller.program_check();
        if (pc && pc != check_ && pc->accepted)
            loaded(std::move(pc));
    }
    if (program_ran_ && s.activity == kc::Activity::None && last_.activity == kc::Activity::Program &&
        controller.last_work().end == kc::WorkReport::End::Done) { // ran to its end
        at_done_ = 1;
        at_left_ms_ = 0;
    }
    const bool changed = s.state != last_.state || s.override_percent != last_.override_percent ||
                         s.paused != last_.paused || s.activity != last_.activity ||
                         answered_;
    answered_ = false;
    publish(s, changed);
}

void GcodePanel::ended(const std::string &how, bool complete, int line)
{
    end_ = how;
    complete_ = complete;
    if (line > 0)
        at_line_ = line;
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
    if (s.activity == kc::Activity::Program)
        program_ran_ = true;
    last_ = s;
    const auto wall = std::chrono::steady_clock::now();
    if (!now && wall < next_publish_)
        return;
    const bool over = !end_.empty();
    // The line the card executes, its feed, the progress: the controller's, from the
    // slices the card runs (not the ones being sent). Once the program stands (stopped,
    // an emergency stop), where the card last was in it.
    if (s.activity == kc::Activity::Program && s.line > 0) {
        at_line_ = s.line;
        at_done_ = s.progress;
        at_left_ms_ = s.left_s * 1000;
        at_feed_ = s.programmed_mm_min;
        at_rapid_ = s.rapid;
    }
    const bool program_now = s.activity == kc::Activity::Program;
    const int line = program_now ? s.line : at_line_;
    const double total_ms = check_ ? check_->planned_ms : 0;
    const double done = over && complete_ ? 1.0 : program_now ? s.progress : at_done_;
    const double left_ms = over && complete_ ? 0
                           : program_now     ? s.left_s * 1000
                           : program_ran_    ? at_left_ms_
                                             : total_ms;
    const kc::ModalView &m = s.modal;
    const double programmed = program_now || !program_ran_ ? s.programmed_mm_min : at_feed_;
    const bool rapid = program_now || !program_ran_ ? s.rapid : at_rapid_;
    json state{{"line", line},
               {"done", done},
               {"left_ms", std::llround(left_ms)},
               {"programmed", std::round(programmed)},
               {"feed", std::round(rapid ? programmed : programmed * s.override_percent / 100.0)},
               {"rapid", rapid},
               {"override", s.override_percent},
               {"state", over ? "ended" : page_state(s, takes_start_ && check_ && !program_ran_)},
               {"work", mm3(s.work_mm)},
               {"machine", mm3(s.machine_mm)},
               {"modal", m.coords + " " + m.distance + " " + m.units + " " + m.plane + " " + m.motion},
               {"units", m.units == "G20" ? "inch" : "mm"},
               {"f", m.feed},
               {"tool", m.tool},
               {"spindle", m.spindle},
               {"coolant", std::string(m.mist ? "M7 " : "") + (m.flood ? "M8" : "")},
               {"homed", s.homed},
               {"idle", !over && (s.state == kc::State::Idle || s.state == kc::State::Stopped)},
               {"estop", s.state == kc::State::EStop},
               {"stopped_line", s.stopped_line},
               {"message", cut(s.message)},
               {"error", cut(s.error)}};
    if (over)
        state["end"] = end_;
    json answers = json::array();
    for (const auto &a : answers_)
        answers.push_back({std::stol(a[0]), a[1] == "1", a[2]});
    state["answers"] = std::move(answers);
    json list = json::array();
    if (listing_)
        for (const auto &[n, text] : listing_->lines(std::max(1, line) - kListBefore,
                                                     std::max(1, line) + kListAfter))
            list.push_back({n, text});
    state["listing"] = std::move(list);
    if (machine::panel_publish_job(state.dump(-1, ' ', false, json::error_handler_t::replace)))
        next_publish_ = wall + kPublishEvery;
}

} // namespace korva3_tool
