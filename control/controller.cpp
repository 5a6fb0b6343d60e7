// controller.cpp - the controller's turn on its owner's thread: the emergency stop,
// the requests, the snapshot; and what any thread may call.
#include "control/controller.h"

#include <cmath>

#include "control/controller_impl.h"
#include "korva3.h"
#include "planner/card_status.h"

namespace korva3_control {

const char *state_name(State s)
{
    switch (s) {
    case State::Idle: return "idle";
    case State::Running: return "running";
    case State::Holding: return "holding";
    case State::Held: return "held";
    case State::Stopping: return "stopping";
    case State::Stopped: return "stopped";
    case State::EStop: return "e-stop";
    }
    return "?";
}

const char *activity_name(Activity a)
{
    switch (a) {
    case Activity::None: return "";
    case Activity::Program: return "program";
    case Activity::Mdi: return "mdi";
    case Activity::Jog: return "jog";
    case Activity::Home: return "home";
    }
    return "?";
}

Controller::Impl::Impl(MachineLink &l, const ControlOptions &o, ControlHooks h)
    : link(l), opt(o), hooks(std::move(h)), session(SessionState::fresh(o.settings)),
      tracker(o.settings.slice_us)
{
}

Controller::Controller(MachineLink &link, const ControlOptions &options, ControlHooks hooks)
    : impl_(std::make_unique<Impl>(link, options, std::move(hooks)))
{
}

Controller::~Controller()
{
    impl_->queue.close("the controller has ended");
    if (impl_->checker.joinable())
        impl_->checker.join();
}

bool Controller::open(std::string &error)
{
    Impl &c = *impl_;
    c.owner.store(std::this_thread::get_id());
    if (KORVA3_INITIAL() != 0) {
        error = "the card's port access could not be opened";
        return false;
    }
    if (KORVA3_REGISTRATION(c.opt.card, c.opt.id_switch) != 1) {
        error = "card " + std::to_string(c.opt.card) + " (ID " + std::to_string(c.opt.id_switch) +
                ") does not answer";
        return false;
    }
    c.card_open = true;
    c.read_machine();
    if (c.opt.zero_where_card_starts)
        c.origin_pulses = c.card_pulses;
    c.read_machine();
    c.say("ready");
    c.publish();
    return true;
}

void Controller::serve(const std::function<bool()> &until)
{
    Impl &c = *impl_;
    c.owner.store(std::this_thread::get_id());
    c.serving.store(true);
    while (!c.shutdown_asked.load()) {
        c.turn();
        if (c.pending.kind == WorkKind::None)
            c.take_line(); // a sender's streamed line starts their work
        if (c.pending.kind != WorkKind::None) {
            PendingWork w = c.pending;
            c.pending = PendingWork{};
            c.run_work(w);
            c.publish();
            continue;
        }
        if (until && until())
            break;
        c.link.sleep_ms(kIdleTurnMs);
    }
    c.serving.store(false);
}

Reply Controller::ask(const Request &request)
{
    Impl &c = *impl_;
    if (std::this_thread::get_id() == c.owner.load() && !c.serving.load()) {
        Reply r = c.state == State::EStop || c.state == State::Idle || c.state == State::Stopped
                      ? c.handle(request)
                      : Reply{false, "refused: the controller is busy"};
        c.publish();
        return r;
    }
    return c.queue.ask(request, c.opt.reply_timeout_ms);
}

bool Controller::post(const Request &request) { return impl_->queue.post(request); }

void Controller::emergency_stop()
{
    Impl &c = *impl_;
    c.estop_asked.store(true);
    if (c.card_open)
        KORVA3_EMG_STOP(c.opt.card);
}

void Controller::shutdown()
{
    impl_->shutdown_asked.store(true);
}

Snapshot Controller::snapshot() const
{
    std::lock_guard<std::mutex> lock(impl_->snap_mutex);
    return impl_->snap;
}

std::shared_ptr<const ProgramCheck> Controller::program_check() const
{
    std::lock_guard<std::mutex> lock(impl_->snap_mutex);
    return impl_->check;
}

WorkReport Controller::last_work() const
{
    std::lock_guard<std::mutex> lock(impl_->snap_mutex);
    return impl_->report;
}

Reply Controller::load_checked(const std::string &path, std::shared_ptr<const ProgramCheck> checked)
{
    Impl &c = *impl_;
    if (std::this_thread::get_id() != c.owner.load() || c.serving.load() || !checked)
        return load(path);
    c.program_path = path;
    {
        std::lock_guard<std::mutex> lock(c.snap_mutex);
        c.check = std::move(checked);
    }
    c.say("loaded " + c.check->name);
    c.publish();
    return {c.check->accepted, c.message_};
}

// ---- the turn ------------------------------------------------------------------------

void Controller::Impl::turn()
{
    if (hooks.poll)
        hooks.poll();
    estop_seen();
    check_done();
    RequestQueue::Pending p;
    while (pending.kind == WorkKind::None && queue.take(p)) {
        const Reply r = told(handle(p.request));
        publish(); // a front end that has its answer sees a snapshot at least as new
        RequestQueue::answer(p, r);
    }
    read_machine();
    publish();
}

bool Controller::Impl::estop_seen()
{
    const bool asked = estop_asked.exchange(false);
    const bool pressed = link.estop_pressed();
    if (!asked && !(pressed && state != State::EStop))
        return state == State::EStop;
    enter_estop(asked ? "emergency stop" : "the machine's emergency stop is pressed");
    return true;
}

void Controller::Impl::enter_estop(const std::string &why)
{
    // Again from this thread, after any slice it sent since the first stop: the card's
    // queue holds nothing of the work.
    KORVA3_EMG_STOP(opt.card);
    outputs_off();
    state = State::EStop;
    activity = Activity::None;
    paused = false;
    hold_asked = resume_asked = stop_asked = false;
    jog_continuous = false;
    message_ = why;
    error_.clear();
    tracker.look(link.clock_ms(), true);
}

void Controller::Impl::read_machine()
{
    if (!card_open)
        return;
    std::array<int32_t, 3> xyz{};
    if (link.position(opt.card, xyz))
        card_pulses = xyz;
    for (int a = 0; a < 3; a++) {
        const double mm = (static_cast<int64_t>(card_pulses[a]) - origin_pulses[a]) /
                          opt.settings.scale[a];
        session.reader.pos[a] = mm;
    }
}

void Controller::Impl::set_outputs(uint32_t bits)
{
    KORVA3_DO(opt.card, bits); // always: after a reset the card's may differ from ours
    outputs = bits;
    session.reader.outputs = bits;
}

void Controller::Impl::outputs_off()
{
    uint32_t bits = outputs;
    const korva3_gcode::OutputTable &o = opt.settings.outputs;
    for (int bit : {o.spindle, o.mist, o.flood})
        if (bit >= 0)
            bits &= ~(1u << bit);
    set_outputs(bits);
}

void Controller::Impl::publish()
{
    Snapshot s;
    s.state = state;
    s.activity = activity;
    const std::array<double, 3> off = session.offset_mm();
    for (int a = 0; a < 3; a++) {
        s.machine_mm[a] = session.reader.pos[a];
        s.offset_mm[a] = off[a];
        s.work_mm[a] = s.machine_mm[a] - off[a];
    }
    tracker.look(link.clock_ms(), !korva3_planner::at_work(KORVA3_MSC(opt.card)));
    if (const SentSlice *x = activity != Activity::None ? tracker.executing() : nullptr) {
        s.line = x->line;
        s.rapid = x->rapid;
        s.programmed_mm_min = x->feed_mm_s * 60.0;
        s.speed_mm_min = x->speed_mm_s * 60.0;
        if (check && activity == Activity::Program) {
            const double total = check->progress.total_ms();
            const double at = check->progress.ms_at(x->step);
            s.total_s = total / 1000;
            s.left_s = std::fmax(0, total - at) / 1000;
            s.progress = total > 0 ? std::fmin(1, at / total) : 0;
        }
    }
    s.override_percent = override_percent;
    s.outputs = outputs;
    if (check) {
        s.program = check->name;
        s.program_lines = check->lines;
        if (s.total_s == 0)
            s.total_s = check->progress.total_ms() / 1000;
    }
    s.checking = checking.load();
    s.stopped_line = state == State::Stopped ? stopped_line : 0;
    s.paused = paused;
    s.pause_note = paused ? pause_note : "";
    s.modal = session.modal(opt.settings);
    s.message = message_;
    s.error = error_;
    s.homed = homed[0] && homed[1] && homed[2];
    std::lock_guard<std::mutex> lock(snap_mutex);
    s.version = ++version;
    snap = std::move(s);
}

} // namespace korva3_control
