// gcode_panel.cpp - a G-code run on the panel: what it shows, what the operator asks.
#include "gcode/gcode_panel.h"

#include <cmath>
#include <thread>

#include <nlohmann/json.hpp>

#include "gcode/path_moves.h"
#include "machine/panel_job.h"

namespace korva3_tool {

namespace {

using nlohmann::json;
namespace kp = korva3_planner;

constexpr std::chrono::milliseconds kPublishEvery{50}; // wall clock
constexpr std::size_t kMaxOutlinePoints = 20000;
constexpr int kListBefore = 3, kListAfter = 6; // lines around the current one
constexpr std::size_t kMaxListedChars = 100;  // of each listed line
constexpr double kChordRadians = 0.08;         // an arc's chords on the preview

double round_to(double v, double step) { return std::round(v / step) * step; }

} // namespace

std::vector<PlannedLine> planned_lines(const korva3_gcode::Program &program,
                                       const korva3_gcode::Settings &settings, double &total_ms)
{
    std::vector<PlannedLine> out;
    kp::Slicer slicer(korva3_gcode::path_moves(program),
                      korva3_gcode::planner_limits(settings));
    const double slice_ms = settings.slice_us / 1000.0;
    double t = 0, skipped = 0;
    kp::Slice slice;
    uint32_t action = 0;
    auto at_line = [&](int line) {
        if (out.empty() || out.back().line != line)
            out.push_back({line, t});
    };
    for (;;) {
        skipped += slicer.skip(); // slices of the profile the next slice belongs to
        const kp::Next n = slicer.next(slice, action);
        if (n == kp::Next::Done)
            break;
        if (n == kp::Next::Slice) {
            at_line(slice.line);
            t += (skipped + 1) * slice_ms;
            skipped = 0;
        } else if (n == kp::Next::Action) {
            const korva3_gcode::Move &m = program.moves[action];
            at_line(m.line);
            if (m.op == korva3_gcode::Op::Dwell)
                t += m.ms;
        }
    }
    total_ms = t + skipped * slice_ms;
    return out;
}

std::vector<std::array<double, 3>> planned_outline(const korva3_gcode::Program &program,
                                                   std::size_t max_points)
{
    std::vector<std::array<double, 3>> pts;
    kp::Vec3 at{};
    for (const kp::PathMove &m : korva3_gcode::path_moves(program)) {
        if (m.kind == kp::Kind::Stop)
            continue;
        const double rapid = m.rapid ? 1 : 0;
        if (m.kind == kp::Kind::Arc) {
            const int u = m.u, v = m.v, w = 3 - u - v;
            const double r0 = std::hypot(at[u] - m.centre[u], at[v] - m.centre[v]);
            const double r1 = std::hypot(m.end[u] - m.centre[u], m.end[v] - m.centre[v]);
            const double a0 = std::atan2(at[v] - m.centre[v], at[u] - m.centre[u]);
            const int steps = std::max(2, static_cast<int>(std::ceil(std::fabs(m.turn) / kChordRadians)));
            for (int k = 1; k < steps; k++) {
                const double f = double(k) / steps, a = a0 + m.turn * f, r = r0 + (r1 - r0) * f;
                kp::Vec3 p{};
                p[u] = m.centre[u] + r * std::cos(a);
                p[v] = m.centre[v] + r * std::sin(a);
                p[w] = at[w] + (m.end[w] - at[w]) * f;
                pts.push_back({p[0], p[1], rapid});
            }
        }
        pts.push_back({m.end[0], m.end[1], rapid});
        at = m.end;
    }
    if (pts.size() > max_points && max_points > 1) { // every k-th point, the last kept
        const std::size_t k = (pts.size() + max_points - 2) / (max_points - 1);
        std::vector<std::array<double, 3>> thin;
        for (std::size_t i = 0; i < pts.size(); i += k)
            thin.push_back(pts[i]);
        thin.back() = pts.back();
        pts.swap(thin);
    }
    return pts;
}

GcodePanel::GcodePanel(const korva3_gcode::Program &program,
                       const korva3_gcode::Settings &settings, const std::string &text)
    : prog_(program), set_(settings)
{
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(from, std::min(end - from, kMaxListedChars));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines_.push_back(std::move(line));
        from = end + 1;
    }
    if (lines_.size() > 1 && lines_.back().empty())
        lines_.pop_back(); // the newline that ends the last line
    plan_ = planned_lines(program, settings, total_ms_);
    for (const korva3_gcode::Move &m : program.moves)
        if (!m.rapid && (m.op == korva3_gcode::Op::Line || m.op == korva3_gcode::Op::Arc ||
                         m.op == korva3_gcode::Op::Circle))
            line_feed_[m.line] = m.feed_mm_min;
}

void GcodePanel::describe(const std::array<int32_t, 3> &origin, std::function<int()> executing)
{
    executing_ = std::move(executing);
    json path = json::array();
    for (const auto &p : planned_outline(prog_, kMaxOutlinePoints))
        path.push_back({round_to(p[0], 1e-3), round_to(p[1], 1e-3), static_cast<int>(p[2])});
    description_ = json{{"name", prog_.name},
                        {"kind", "gcode"},
                        {"card", 0},
                        {"lines", prog_.lines},
                        {"scale", set_.scale},
                        {"origin", origin},
                        {"planned_ms", std::llround(total_ms_)},
                        {"path", std::move(path)}}
                       .dump();
    machine::panel_describe_job(description_, machine::kTakesOverride | machine::kTakesHold |
                                                  machine::kTakesStop);
    publish(true);
}

void GcodePanel::sending(const kp::Slice &slice)
{
    if (slice.line != line_) {
        line_ = slice.line;
        in_line_ms_ = 0;
        const auto f = line_feed_.find(line_);
        if (f != line_feed_.end())
            programmed_ = f->second;
        for (std::size_t k = at_; k < plan_.size(); k++) // forward only: lines come in order
            if (plan_[k].line == line_) {
                at_ = k;
                break;
            }
    }
    in_line_ms_ += set_.slice_us / 1000.0;
    rapid_ = slice.rapid;
    feed_ = slice.feed_mm_s * korva3_gcode::kSecondsPerMinute;
    publish(false);
}

kp::Controls GcodePanel::controls(bool held)
{
    kp::Controls c;
    const uint32_t wants = machine::panel_job_requests(c.override);
    c.hold = (wants & machine::kWantsHold) != 0;
    c.stop = (wants & machine::kWantsStop) != 0;
    const char *state = c.stop ? "stopping" : held ? "held" : c.hold ? "holding" : "running";
    const bool changed = state != state_ || c.override != override_;
    state_ = state;
    override_ = c.override;
    publish(changed);
    return c;
}

void GcodePanel::ended(const std::string &how)
{
    state_ = "ended";
    end_ = how;
    machine::panel_describe_job(description_, 0); // the path stays, the controls go
    for (int tries = 0; tries < 100; tries++) { // the last state must not be lost
        next_publish_ = {};
        publish(true);
        if (next_publish_ != std::chrono::steady_clock::time_point{})
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string GcodePanel::listing_json(int line) const
{
    json list = json::array();
    const int first = std::max(1, line - kListBefore);
    const int last = std::min(static_cast<int>(lines_.size()), std::max(line, 1) + kListAfter);
    for (int n = first; n <= last; n++)
        list.push_back({n, lines_[n - 1]});
    return list.dump(-1, ' ', false, json::error_handler_t::replace); // any bytes a file holds
}

void GcodePanel::publish(bool now)
{
    const auto wall = std::chrono::steady_clock::now();
    if (!now && wall < next_publish_)
        return;
    double done_ms = total_ms_;
    if (std::string(state_) != "ended" && at_ < plan_.size()) {
        const double line_end = at_ + 1 < plan_.size() ? plan_[at_ + 1].start_ms : total_ms_;
        done_ms = std::min(plan_[at_].start_ms + in_line_ms_, line_end);
    }
    const int ran = executing_ ? executing_() : 0;
    const int line = state_ == std::string("ended") || ran == 0 ? line_ : ran;
    json state{{"line", line},
               {"done", total_ms_ > 0 ? done_ms / total_ms_ : 1.0},
               {"left_ms", std::llround(total_ms_ - done_ms)},
               {"programmed", std::round(programmed_)},
               {"feed", std::round(feed_)},
               {"rapid", rapid_},
               {"override", override_},
               {"state", state_}};
    if (!end_.empty())
        state["end"] = end_;
    std::string text = state.dump();
    text.pop_back(); // the listing is JSON already
    text += ",\"listing\":" + listing_json(line) + "}";
    if (machine::panel_publish_job(text))
        next_publish_ = wall + kPublishEvery;
}

} // namespace korva3_tool
