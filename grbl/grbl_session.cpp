// grbl_session.cpp - the session's real-time bytes, its lines in order, G-code lines.
#include "grbl/grbl_session.h"

#include <algorithm>
#include <chrono>

#include "grbl/grbl_codes.h"

namespace korva3_grbl {

namespace kc = korva3_control;

namespace {

bool moving(kc::State s)
{
    return s == kc::State::Running || s == kc::State::Holding || s == kc::State::Stopping;
}

kc::Request request(kc::Ask ask, double number = 0)
{
    kc::Request r;
    r.ask = ask;
    r.number = number;
    return r;
}

std::string welcome() { return std::string("\r\n") + kWelcome + "\r\n"; }

} // namespace

GrblSession::GrblSession(kc::Controller &controller, kc::LineFeed &feed,
                         const korva3_gcode::Settings &machine)
    : controller_(controller), feed_(feed), settings_(machine)
{
    thread_ = std::thread([this] { line_thread(); });
}

GrblSession::~GrblSession() { close(); }

void GrblSession::close()
{
    {
        std::lock_guard<std::mutex> lock(lines_mutex_);
        closing_ = true;
    }
    lines_cv_.notify_all();
    generation_++;
    feed_.cancel("the server ends");
    if (thread_.joinable())
        thread_.join();
}

void GrblSession::connect(Write write)
{
    {
        std::lock_guard<std::mutex> lock(write_mutex_);
        write_ = std::move(write);
    }
    input_ = LineInput{};
    send(welcome() + (alarm_ ? "[MSG:'$H'|'$X' to unlock]\r\n" : ""));
}

void GrblSession::disconnect()
{
    {
        std::lock_guard<std::mutex> lock(write_mutex_);
        write_ = nullptr;
        generation_++;
    }
    drop_lines();
    const kc::Snapshot s = controller_.snapshot();
    if (moving(s.state) || s.state == kc::State::Held) {
        controller_.post(request(kc::Ask::Stop)); // braking along the path, outputs off
    } else if (s.modal.spindle || s.modal.mist || s.modal.flood) {
        kc::Request off = request(kc::Ask::Mdi);
        off.text = "M5 M9"; // at rest: spindle and coolant off all the same
        controller_.post(off);
    }
    idle_hold_ = check_ = sleep_ = false;
    lines_cv_.notify_all();
}

void GrblSession::send(const std::string &text)
{
    std::lock_guard<std::mutex> lock(write_mutex_);
    if (write_)
        write_(text);
}

void GrblSession::answer(uint64_t generation, const std::string &text)
{
    std::lock_guard<std::mutex> lock(write_mutex_);
    if (write_ && current(generation))
        write_(text);
}

void GrblSession::received(const char *bytes, std::size_t n)
{
    for (std::size_t i = 0; i < n; i++) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        std::string text;
        bool overflow = false;
        switch (input_.feed(b, text, overflow)) {
        case LineInput::Got::Realtime:
            realtime(b);
            break;
        case LineInput::Got::Line: {
            std::unique_lock<std::mutex> lock(lines_mutex_);
            lines_cv_.wait(lock, [&] { return rx_used_ < kRxHoldBytes || closing_; });
            rx_used_ += text.size() + 1;
            lines_.push_back({std::move(text), overflow, generation_.load()});
            lock.unlock();
            lines_cv_.notify_all();
            break;
        }
        case LineInput::Got::Nothing:
            break;
        }
    }
}

void GrblSession::drop_lines()
{
    {
        std::lock_guard<std::mutex> lock(lines_mutex_);
        lines_.clear();
        rx_used_ = 0;
    }
    lines_cv_.notify_all();
    feed_.cancel("soft reset");
}

// ---- real-time bytes ----------------------------------------------------------------

void GrblSession::realtime(unsigned char b)
{
    switch (b) {
    case '?': send(status()); break;
    case '!': hold(); break;
    case '~': resume(); break;
    case 0x18: soft_reset(); break;
    case 0x85: { // jog cancel: the jog brakes to rest within its limits
        const kc::Snapshot s = controller_.snapshot();
        if (s.activity == kc::Activity::Jog) {
            jog_cancelled_ = true;
            controller_.post(request(kc::Ask::JogCancel));
        }
        if (line_is_jog_) { // a jog line waiting for the planner is dropped with it
            jog_cancelled_ = true;
            feed_.cancel("jog cancelled");
        }
        break;
    }
    case 0x90: feed_override(100); break;
    case 0x91: feed_override(feed_override_ + 10); break;
    case 0x92: feed_override(feed_override_ - 10); break;
    case 0x93: feed_override(feed_override_ + 1); break;
    case 0x94: feed_override(feed_override_ - 1); break;
    // Rapid overrides: kept for the report; the planner runs rapids at the machine's
    // rapid speed (its feed override applies to feeds only).
    case 0x95: rapid_override_ = 100; break;
    case 0x96: rapid_override_ = 50; break;
    case 0x97: rapid_override_ = 25; break;
    default: break; // spindle overrides and toggles: no spindle speed on this card
    }
}

void GrblSession::feed_override(int percent)
{
    percent = std::clamp(percent, 10, 200); // grbl's range
    feed_override_ = percent;
    controller_.post(request(kc::Ask::Override, percent));
}

void GrblSession::hold()
{
    const kc::Snapshot s = controller_.snapshot();
    if (s.state == kc::State::Running && s.activity != kc::Activity::Home)
        controller_.post(request(kc::Ask::Hold));
    else if ((s.state == kc::State::Idle || s.state == kc::State::Stopped) && !alarm_ && !sleep_)
        idle_hold_ = true; // as grbl: Hold:0 at rest, lines wait until '~'
}

void GrblSession::resume()
{
    if (idle_hold_.exchange(false)) {
        lines_cv_.notify_all();
        return;
    }
    const kc::Snapshot s = controller_.snapshot();
    if (s.state == kc::State::Held || s.state == kc::State::Holding)
        controller_.post(request(kc::Ask::Resume));
}

void GrblSession::soft_reset()
{
    const kc::Snapshot s = controller_.snapshot();
    const bool was_moving = moving(s.state);
    {
        std::lock_guard<std::mutex> lock(write_mutex_);
        generation_++; // answers of lines before the reset are not sent
    }
    drop_lines();
    if (was_moving || s.state == kc::State::Held)
        controller_.post(request(kc::Ask::Stop)); // braking along the path, outputs off
    idle_hold_ = check_ = sleep_ = false;
    if (feed_override_ != 100)
        feed_override(100);
    rapid_override_ = 100;
    if (was_moving)
        alarm_ = true; // grbl cannot vouch for its position after this; the card can,
                       // but senders expect the alarm
    lines_cv_.notify_all();
    send(std::string(was_moving ? "ALARM:3\r\n" : "") + welcome() +
         (alarm_ ? "[MSG:'$H'|'$X' to unlock]\r\n" : ""));
}

std::string GrblSession::status()
{
    const kc::Snapshot s = controller_.snapshot();
    SessionFlags f;
    f.alarm = alarm_;
    f.check = check_;
    f.sleep = sleep_;
    f.idle_hold = idle_hold_;
    StatusReporter::Options o;
    o.mask = settings_.status_mask();
    o.inches = settings_.report_inches();
    o.overrides = {feed_override_.load(), rapid_override_.load(), 100};
    std::size_t used = 0, waiting = 0;
    {
        std::lock_guard<std::mutex> lock(lines_mutex_);
        used = rx_used_;
        waiting = lines_.size();
    }
    o.rx_free = static_cast<int>(kRxBufferBytes - std::min(used, kRxBufferBytes));
    o.planner_free = moving(s.state) || waiting ? 0 : 15;
    std::lock_guard<std::mutex> lock(report_mutex_);
    return reporter_.report(s, f, o);
}

// ---- lines, one at a time -------------------------------------------------------------

void GrblSession::line_thread()
{
    for (;;) {
        Line line;
        {
            std::unique_lock<std::mutex> lock(lines_mutex_);
            lines_cv_.wait(lock, [&] { return closing_ || !lines_.empty(); });
            if (closing_)
                return;
            line = std::move(lines_.front());
            lines_.pop_front();
            rx_used_ -= std::min(rx_used_, line.text.size() + 1);
        }
        lines_cv_.notify_all();
        if (!current(line.generation))
            continue;
        answer(line.generation, execute(line));
    }
}

std::string GrblSession::execute(const Line &line)
{
    if (line.overflow)
        return "error:" + std::to_string(kLineOverflow) + "\r\n";
    std::string text = line.text;
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "ok\r\n"; // an empty line: answered, for the sender's count
    text.erase(0, first);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    if (text[0] == '$')
        return system(text, line.generation);
    return gcode(text, line.generation);
}

std::string GrblSession::gcode(const std::string &text, uint64_t generation)
{
    if (sleep_ || alarm_ || controller_.snapshot().state == kc::State::EStop)
        return "error:" + std::to_string(kSystemGcLock) + "\r\n";
    if (idle_hold_) { // Hold:0 at rest: the line waits for '~' (or a reset)
        std::unique_lock<std::mutex> lock(lines_mutex_);
        lines_cv_.wait(lock, [&] { return !idle_hold_ || closing_ || !current(generation); });
    }
    if (!current(generation))
        return "";
    kc::StreamedLine l;
    l.kind = check_ ? kc::StreamedLine::Kind::Check : kc::StreamedLine::Kind::Gcode;
    l.text = text;
    const kc::Reply r = feed_.run(l);
    if (r.ok)
        return "ok\r\n";
    const int code = r.text.find("jog runs") != std::string::npos ||
                             r.text.find("emergency stop") != std::string::npos
                         ? kSystemGcLock
                         : error_for(r.text);
    return feedback(r.text) + "error:" + std::to_string(code) + "\r\n";
}

} // namespace korva3_grbl
