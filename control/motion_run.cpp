// motion_run.cpp - a work (a program, an MDI line, a jog) streamed to the card through
// the planner, with the controller's requests taken between slices: hold, resume, stop,
// the override, a jog's renewal, the emergency stop. Where the machine must stand
// (dwells, outputs, pauses, the end) the stream waits for the card to stand, then acts.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "control/controller_impl.h"
#include "control/figures_text.h"
#include "control/run_from_line.h"
#include "gcode/path_moves.h"
#include "korva3.h"
#include "planner/card_status.h"
#include "planner/stream.h"

namespace korva3_control {

namespace kg = korva3_gcode;
namespace kp = korva3_planner;

namespace {

// Snapshots while work runs: at most one per this many machine milliseconds.
constexpr uint32_t kPublishEveryMs = 20;

// A long dwell or pause goes on in steps of this many ms, the requests taken between.
constexpr uint32_t kWaitStepMs = 10;

} // namespace

// The stream of one work and what happens at its stops.
class WorkStream {
public:
    WorkStream(Controller::Impl &c, const kg::MmPoint &start) : c_(c), start_(start) {}

    // Streams `moves` (machine mm) to the card; `actions[i]` is the move a Stop with
    // action i stands for. The end: how it ended.
    kp::StreamReport run(std::vector<kp::PathMove> moves, const std::vector<kg::Move> &actions)
    {
        actions_ = &actions;
        for (kp::PathMove &m : moves) { // the planner starts at 0: where the machine is
            for (int a = 0; a < 3; a++) {
                m.end[a] -= start_[a];
                m.centre[a] -= start_[a];
            }
        }
        kp::Limits limits = kg::planner_limits(c_.opt.settings);
        kp::Slicer slicer(moves, limits);
        slicer.set_override(c_.override_percent);
        applied_override_ = c_.override_percent;
        c_.tracker.reset(c_.link.clock_ms());
        const uint32_t t0 = c_.link.clock_ms();
        kp::StreamReport r = kp::stream_to_card(slicer, c_.opt.card, hooks());
        motion_ms_ = c_.link.clock_ms() - t0;
        return r;
    }

    uint32_t motion_ms() const { return motion_ms_; }
    // The program's "(MSG, ...)" texts, told as the slices of their lines go out.
    std::vector<kg::Program::Message> messages;

private:
    kp::StreamHooks hooks()
    {
        kp::StreamHooks h;
        h.poll_every = 1;
        h.sending = [this](const kp::Slice &s) {
            SentSlice x;
            x.line = s.line;
            x.step = static_cast<uint64_t>(s.line);
            x.feed_mm_s = static_cast<float>(s.rapid ? s.feed_mm_s : s.feed_mm_s * 100.0 / std::max(1u, applied_override_));
            x.speed_mm_s = static_cast<float>(s.speed_mm_s);
            x.rapid = s.rapid;
            c_.tracker.sent(x, c_.link.clock_ms());
            tell_messages(s.line);
            if (c_.hooks.sending)
                c_.hooks.sending(s);
        };
        h.poll = [this](const kp::Status &st) { return poll(st); };
        h.action = [this](uint32_t i) { return act((*actions_)[i]); };
        return h;
    }

    kp::Controls poll(const kp::Status &st)
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
            c_.stop_asked = true; // renewals stopped: the jog ends, braking
            c_.jog_continuous = false;
        }
        if (c_.resume_asked) {
            c_.hold_asked = c_.resume_asked = false;
        }
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
        c_.state = k.stop ? State::Stopping
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

    // Lets `ms` pass while taking requests; false when a stop or an emergency came.
    bool wait(uint32_t ms)
    {
        const uint32_t until = c_.link.clock_ms() + ms;
        while (static_cast<int32_t>(c_.link.clock_ms() - until) < 0) {
            c_.link.sleep_ms(std::min<uint32_t>(kWaitStepMs, until - c_.link.clock_ms()));
            if (!step_while_standing())
                return false;
        }
        return true;
    }

    // One look while the machine stands in a work: false once it must end.
    bool step_while_standing()
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

    void tell_messages(int line)
    {
        while (next_message_ < messages.size() && messages[next_message_].line <= line) {
            const kg::Program::Message &m = messages[next_message_++];
            if (c_.hooks.message)
                c_.hooks.message(m.line, m.text);
        }
    }

    bool act(const kg::Move &m)
    {
        tell_messages(m.line);
        c_.tracker.look(c_.link.clock_ms(), true);
        switch (m.op) {
        case kg::Op::Dwell:
            return wait(m.ms);
        case kg::Op::Outputs:
        case kg::Op::End:
            c_.set_outputs(m.outputs);
            return true;
        case kg::Op::Pause: {
            const std::string note = m.note >= 0 && m.note < static_cast<int>(notes_->size())
                                         ? (*notes_)[static_cast<std::size_t>(m.note)]
                                         : std::string("M0");
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

public:
    const std::vector<std::string> *notes_ = nullptr;

private:
    Controller::Impl &c_;
    kg::MmPoint start_;
    const std::vector<kg::Move> *actions_ = nullptr;
    uint32_t applied_override_ = 100;
    uint32_t published_ms_ = 0;
    uint32_t motion_ms_ = 0;
    std::size_t next_message_ = 0;
};

namespace {

// The path moves of a program's moves, each Stop's action its move's index.
std::vector<kp::PathMove> path_of(const kg::Program &p) { return kg::path_moves(p); }

bool read_text(const std::string &path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

} // namespace

void Controller::Impl::run_work(const PendingWork &w)
{
    hold_asked = resume_asked = stop_asked = false;
    error_.clear();
    switch (w.kind) {
    case WorkKind::Program: run_program(w.from_line); break;
    case WorkKind::Mdi: run_mdi(w.request.text); break;
    case WorkKind::Jog: run_jog(w.request); break;
    case WorkKind::Home: run_home(w.request.axis); break;
    case WorkKind::None: break;
    }
    hold_asked = resume_asked = stop_asked = false;
    jog_continuous = false;
    paused = false;
}

// How a work ended, into the state (done; stopped: spindle and coolant off; e-stop) and
// the report.
static void ended(Controller::Impl &c, const kp::StreamReport &r, uint32_t motion_ms,
                  const std::string &done)
{
    c.read_machine();
    WorkReport w;
    w.activity = c.activity;
    w.line = r.line;
    w.slices = r.slices;
    w.underruns = r.underruns;
    w.motion_ms = motion_ms;
    if (c.state == State::EStop || r.end == kp::StreamEnd::Emergency) {
        c.state = State::EStop;
        w.end = WorkReport::End::EStop;
    } else if (r.end == kp::StreamEnd::Done) {
        c.state = State::Idle;
        c.say(done);
        w.end = WorkReport::End::Done;
    } else {
        c.outputs_off();
        c.stopped_line = r.line;
        c.state = c.activity == Activity::Program ? State::Stopped : State::Idle;
        c.say(c.activity == Activity::Program ? "stopped at line " + std::to_string(r.line)
                                              : std::string("stopped"));
        w.end = WorkReport::End::Stopped;
    }
    c.activity = Activity::None;
    std::lock_guard<std::mutex> lock(c.snap_mutex);
    c.report = w;
}

// A work that could not start: the report says why.
static void not_started(Controller::Impl &c, Activity a, const std::string &why)
{
    c.fail(why);
    WorkReport w;
    w.activity = a;
    w.end = WorkReport::End::Failed;
    w.error = why;
    std::lock_guard<std::mutex> lock(c.snap_mutex);
    c.report = w;
}

void Controller::Impl::run_program(int from_line)
{
    std::string text;
    kg::Program prog;
    std::vector<std::string> errors;
    if (!read_text(program_path, text)) {
        not_started(*this, Activity::Program, "cannot read " + program_path);
        return;
    }
    if (!kg::read_program(check ? check->name : program_path, text, opt.settings, prog, errors,
                          opt.read)) {
        not_started(*this, Activity::Program, errors.empty() ? "the program has errors" : errors.front());
        return;
    }
    read_machine();
    state = State::Running;
    activity = Activity::Program;
    say("running " + prog.name);
    publish();
    if (from_line > 0) { // the lines before it move nothing; a safe move brings the machine there
        RunFromLine from(from_line, session.reader.pos,
                         (check ? check->extent.high[2] : session.reader.pos[2]) + opt.clearance_mm,
                         opt.settings.rapid);
        std::vector<kg::Move> moves;
        for (const kg::Move &m : prog.moves) {
            if (!from.reached() && (m.line < from_line || !from.begin_line(from_line))) {
                from.skip(m);
                continue;
            }
            if (moves.empty())
                moves = from.approach(m);
            moves.push_back(m);
        }
        prog.moves = std::move(moves);
        std::vector<kg::Program::Message> later;
        for (const kg::Program::Message &msg : prog.messages)
            if (msg.line >= from_line)
                later.push_back(msg);
        prog.messages = std::move(later);
        say("running " + prog.name + " from line " + std::to_string(from_line));
    }
    WorkStream stream(*this, kg::MmPoint{});
    stream.notes_ = &prog.notes;
    stream.messages = prog.messages;
    std::vector<kp::PathMove> path = path_of(prog);
    const kp::StreamReport r = stream.run(path, prog.moves);
    ended(*this, r, stream.motion_ms(), prog.name + ": program complete");
}

void Controller::Impl::run_mdi(const std::string &line)
{
    kg::Program prog;
    std::vector<std::string> errors;
    if (!kg::read_program("MDI", line, opt.settings, prog, errors, opt.read)) {
        not_started(*this, Activity::Mdi, errors.empty() ? "MDI: refused" : errors.front());
        return;
    }
    state = State::Running;
    activity = Activity::Mdi;
    WorkStream stream(*this, kg::MmPoint{});
    stream.notes_ = &prog.notes;
    stream.messages = prog.messages;
    const kp::StreamReport r = stream.run(path_of(prog), prog.moves);
    ended(*this, r, stream.motion_ms(), "MDI done: " + line);
}

void Controller::Impl::run_jog(const Request &r)
{
    read_machine();
    const kg::Settings &s = opt.settings;
    double feed = r.feed_mm_min > 0 ? r.feed_mm_min
                  : opt.jog_feed_mm_min > 0 ? opt.jog_feed_mm_min
                                            : s.max_velocity[r.axis] / 2;
    feed = std::min(feed, s.max_velocity[r.axis]);
    // A continuous jog runs towards a far point and is stopped when its renewals end.
    const double distance = r.continuous ? (r.direction < 0 ? -1.0 : 1.0) * kContinuousJogMm : r.number;
    kp::PathMove m;
    m.end = session.reader.pos;
    m.end[r.axis] += distance;
    m.feed_mm_s = feed / kg::kSecondsPerMinute;
    state = State::Running;
    activity = Activity::Jog;
    jog_continuous = r.continuous;
    jog_until_ms = link.clock_ms() + opt.jog_deadline_ms;
    WorkStream stream(*this, session.reader.pos);
    const std::vector<kg::Move> none;
    kp::StreamReport report = stream.run({m}, none);
    // A jog that ends by its cancel or deadline has done what was asked.
    if (report.end == kp::StreamEnd::Stopped)
        report.end = kp::StreamEnd::Done;
    ended(*this, report, stream.motion_ms(), "jog done");
}

} // namespace korva3_control
