// work_stream.cpp - a work's moves through the planner's window to the card.
#include "control/work_stream.h"

#include <algorithm>

#include "gcode/path_moves.h"
#include "korva3.h"
#include "planner/card_status.h"

namespace korva3_control {

namespace kg = korva3_gcode;
namespace kp = korva3_planner;

namespace {

// Snapshots while work runs: at most one per this many machine milliseconds.
constexpr uint32_t kPublishEveryMs = 20;
// A long dwell or pause goes on in steps of this many ms, the requests taken between.
constexpr uint32_t kWaitStepMs = 10;
// Messages read ahead of the slices that tell them: more are told at once.
constexpr std::size_t kMaxWaitingMessages = 1000;

} // namespace

WorkStream::WorkStream(Controller::Impl &c, const kg::MmPoint &start)
    : c_(c), start_(start), slicer_(kg::planner_limits(c.opt.settings)),
      streamer_(slicer_, c.opt.card, hooks())
{
    slicer_.set_override(c_.override_percent);
    applied_override_ = c_.override_percent;
    c_.tracker.reset(c_.link.clock_ms());
}

bool WorkStream::push(const kg::Move &m, uint64_t step)
{
    kp::PathMove p = kg::path_move(m, next_action_);
    p.step = step;
    for (int a = 0; a < 3; a++) { // the planner's path starts at 0: where the machine is
        p.end[a] -= start_[a];
        p.centre[a] -= start_[a];
    }
    if (p.kind == kp::Kind::Stop)
        actions_.emplace_back(next_action_++, m);
    slicer_.push(p);
    return pump();
}

bool WorkStream::pump()
{
    if (!started_) {
        started_ = true;
        t0_ = c_.link.clock_ms();
    }
    if (streamer_.ended())
        return false;
    if (slicer_.wants_more())
        return true;
    return streamer_.pump();
}

bool WorkStream::send_ready()
{
    if (!started_)
        return true; // nothing pushed yet
    return !streamer_.ended() && streamer_.pump();
}

const kp::StreamReport &WorkStream::finish()
{
    slicer_.finish();
    if (!started_)
        t0_ = c_.link.clock_ms();
    while (!streamer_.ended() && streamer_.pump()) {
    }
    tell_messages(UINT64_MAX);
    motion_ms_ = c_.link.clock_ms() - t0_;
    return streamer_.report();
}

void WorkStream::message(uint64_t step, int line, const std::string &text)
{
    if (messages_.size() >= kMaxWaitingMessages)
        tell_messages(messages_.front().step);
    messages_.push_back({step, line, text});
}

void WorkStream::tell_messages(uint64_t step)
{
    while (!messages_.empty() && messages_.front().step <= step) {
        if (c_.hooks.message)
            c_.hooks.message(messages_.front().line, messages_.front().text);
        messages_.pop_front();
    }
}

kp::StreamHooks WorkStream::hooks()
{
    kp::StreamHooks h;
    h.poll_every = 1;
    h.sending = [this](const kp::Slice &s) {
        SentSlice x;
        x.line = s.line;
        x.step = s.step;
        x.feed_mm_s = static_cast<float>(
            s.rapid ? s.feed_mm_s : s.feed_mm_s * 100.0 / std::max(1u, applied_override_));
        x.speed_mm_s = static_cast<float>(s.speed_mm_s);
        x.rapid = s.rapid;
        c_.tracker.sent(x, c_.link.clock_ms());
        tell_messages(s.step);
        if (c_.hooks.sending)
            c_.hooks.sending(s);
    };
    h.poll = [this](const kp::Status &st) { return poll(st); };
    h.action = [this](uint32_t id) {
        while (!actions_.empty() && actions_.front().first != id)
            actions_.pop_front();
        if (actions_.empty())
            return true;
        const kg::Move m = std::move(actions_.front().second);
        actions_.pop_front();
        return act(m);
    };
    return h;
}

kp::Controls WorkStream::poll(const kp::Status &st)
{
    kp::Controls k;
    if (c_.hooks.poll)
        c_.hooks.poll();
    if (c_.estop_seen()) {
        k.emergency = true; // the stream stops the card again and ends
        return k;
    }
    c_.take_requests_moving();
    const uint32_t now = c_.link.clock_ms();
    if (c_.jog_continuous && static_cast<int32_t>(now - c_.jog_until_ms) > 0) {
        c_.stop_asked = true; // the renewals stopped: the jog ends, braking
        c_.jog_continuous = false;
    }
    if (c_.resume_asked)
        c_.hold_asked = c_.resume_asked = false;
    k.override = c_.override_percent;
    applied_override_ = c_.override_percent;
    k.stop = c_.stop_asked;
    k.hold = c_.hold_asked;
    if (c_.activity == Activity::Jog) // a short queue: the jog stops when it is told to
        while (c_.tracker.look(c_.link.clock_ms(), false),
               c_.tracker.queued() * c_.opt.settings.slice_us > kJogQueueMs * 1000u)
            c_.link.sleep_ms(1);
    const bool at_rest = st.held && !kp::at_work(st.card_status);
    const State was = c_.state;
    c_.state = k.stop   ? State::Stopping
               : k.hold ? (at_rest ? State::Held : State::Holding)
                        : State::Running;
    if (c_.state != was || static_cast<uint32_t>(now - published_ms_) >= kPublishEveryMs) {
        c_.read_machine();
        c_.publish();
        published_ms_ = now;
    }
    if (st.held) // the machine waits for the operator, never the reverse
        c_.link.sleep_ms(kIdleTurnMs);
    return k;
}

bool WorkStream::wait(uint32_t ms)
{
    const uint32_t until = c_.link.clock_ms() + ms;
    while (static_cast<int32_t>(c_.link.clock_ms() - until) < 0) {
        c_.link.sleep_ms(std::min<uint32_t>(kWaitStepMs, until - c_.link.clock_ms()));
        if (!step_while_standing())
            return false;
    }
    return true;
}

bool WorkStream::step_while_standing()
{
    if (c_.hooks.poll)
        c_.hooks.poll();
    if (c_.estop_seen())
        return false;
    c_.take_requests_moving();
    c_.read_machine();
    c_.publish();
    return !c_.stop_asked;
}

bool WorkStream::act(const kg::Move &m)
{
    c_.tracker.look(c_.link.clock_ms(), true);
    switch (m.op) {
    case kg::Op::Dwell:
        return wait(m.ms);
    case kg::Op::Outputs:
        c_.set_outputs(m.outputs);
        return true;
    case kg::Op::End: // M2, M30, the file's end: the outputs off, unless they are
        if (m.outputs != c_.outputs)
            c_.set_outputs(m.outputs);
        return true;
    case kg::Op::Pause: {
        const std::string note = m.note.empty() ? std::string("M0") : m.note;
        if (c_.hooks.pause && c_.hooks.pause(m.line, note))
            return true;
        c_.paused = true;
        c_.pause_note = note;
        c_.state = State::Held;
        c_.say(note + ": paused (resume goes on)");
        while (!c_.resume_asked) {
            c_.link.sleep_ms(kIdleTurnMs);
            if (!step_while_standing()) {
                c_.paused = false;
                return false;
            }
        }
        c_.paused = false;
        c_.resume_asked = c_.hold_asked = false;
        c_.state = State::Running;
        return true;
    }
    default:
        return true;
    }
}

} // namespace korva3_control
