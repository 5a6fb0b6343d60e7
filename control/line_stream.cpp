// line_stream.cpp - a sender's streamed lines as one work: each line checked as it
// arrives (a line in error is answered with the reason and runs nothing), then read
// into the planner's window with the lines before it, so the planner looks ahead over
// what has arrived. When no line comes for `lines_grace_ms` (or the card's queue runs
// low) the path is planned to rest and the work ends; the next line starts another.
// A jog's lines (machine mm, the modal state untouched) make a work of their own.
#include <algorithm>

#include "control/controller_impl.h"
#include "control/work_stream.h"
#include "gcode/stream.h"

namespace korva3_control {

namespace kg = korva3_gcode;
namespace kp = korva3_planner;

void ended(Controller::Impl &c, const kp::StreamReport &r, uint32_t motion_ms,
           const std::string &done, const std::string &failed); // motion_run.cpp

namespace {

// The card's queue below this many ms of slices, after this short wait for a line: no
// more waiting, the path is planned to rest before the card runs dry.
constexpr uint32_t kLowQueueMs = 10;
constexpr uint32_t kLeastWaitMs = 2;
// Snapshots while waiting for a line: one per this many ms.
constexpr uint32_t kWaitPublishMs = 20;

class LineSink : public kg::MoveSink {
public:
    LineSink(WorkStream &stream, uint64_t step) : stream_(stream), step_(step) {}
    bool move(const kg::Move &m) override
    {
        ended_ = ended_ || !stream_.push(m, step_);
        return !ended_;
    }
    void message(int line, const std::string &text) override { stream_.message(step_, line, text); }
    bool ended() const { return ended_; }

private:
    WorkStream &stream_;
    uint64_t step_;
    bool ended_ = false;
};

class Discard : public kg::MoveSink {
    bool move(const kg::Move &) override { return true; }
};

Reply refused(const std::string &why) { return {false, "refused: " + why}; }

} // namespace

bool Controller::Impl::take_line()
{
    StreamedLine l;
    if (!opt.lines || !opt.lines->take(l))
        return false;
    if (state == State::EStop) {
        opt.lines->answer(l.id, refused("G-code in an emergency stop (reset it first)"));
        return false;
    }
    pending = PendingWork{};
    pending.kind = WorkKind::Lines;
    first_line = l;
    return true;
}

void Controller::Impl::run_lines(const StreamedLine &first)
{
    read_machine();
    const bool jogging = first.kind == StreamedLine::Kind::Jog;
    state = State::Running;
    activity = jogging ? Activity::Jog : Activity::Mdi;
    say(jogging ? "jog" : "streaming lines");
    publish();
    kg::State reader = session.reader; // the lines' own: the snapshot's position is the card's
    kg::Parameters parameters = session.parameters;
    WorkStream stream(*this, reader.pos);
    uint64_t step = 0;
    bool over = false; // stopped, an emergency stop
    StreamedLine l = first;
    for (;;) {
        Reply r{true, "ok"};
        LineSink sink(stream, ++step);
        std::vector<std::string> errors;
        if (l.kind == StreamedLine::Kind::Jog) {
            if (!jogging) {
                r = refused("a jog while G-code runs");
            } else {
                kg::Move m;
                m.op = kg::Op::Line;
                m.end = l.target_mm;
                m.feed_mm_min = l.feed_mm_min;
                reader.pos = l.target_mm;
                sink.move(m);
            }
        } else if (jogging) {
            r = refused("G-code while a jog runs");
        } else {
            const bool check = l.kind == StreamedLine::Kind::Check;
            if (check && !session.checked_reader) {
                session.checked_reader = reader;
                session.checked_parameters = parameters;
            } else if (!check) {
                session.end_checking();
            }
            kg::State trial = check ? *session.checked_reader : reader; // a line in error
            kg::Parameters trial_parameters = check ? *session.checked_parameters : parameters; // changes nothing
            Discard discard;
            if (!kg::read_line(l.text, opt.settings, trial, trial_parameters, discard, errors,
                               opt.read)) {
                r = {false, errors.empty() ? "refused: the line" : errors.front()};
            } else if (check) {
                *session.checked_reader = std::move(trial); // read, nothing moves
                *session.checked_parameters = std::move(trial_parameters);
            } else {
                kg::read_line(l.text, opt.settings, reader, parameters, sink, errors, opt.read);
            }
        }
        const kg::MmPoint at = session.reader.pos; // the modal state shown as the lines leave it
        session.reader = reader;
        session.reader.pos = at;
        over = sink.ended();
        opt.lines->answer(l.id, over && r.ok ? Reply{false, "refused: the machine stopped"} : r);
        if (over)
            break;
        // The next line, while the card runs what is planned.
        uint32_t waited_from = link.clock_ms();
        uint32_t published = waited_from;
        bool next = false;
        while (!over) {
            if (opt.lines->take(l)) {
                next = true;
                break;
            }
            const uint32_t before = link.clock_ms();
            if (!stream.send_ready() || estop_seen()) {
                over = true;
                break;
            }
            const uint32_t now = link.clock_ms();
            if (now - before > kLeastWaitMs) // sending (or held): not waiting for a line
                waited_from = now;
            tracker.look(now, false);
            const bool low = tracker.queued() * opt.settings.slice_us < kLowQueueMs * 1000u;
            const uint32_t waited = now - waited_from;
            if (waited >= opt.lines_grace_ms || (low && waited >= kLeastWaitMs && tracker.queued() > 0) ||
                stop_asked)
                break; // (a hold is taken by the stream: its lines wait until the resume)
            link.sleep_ms(1);
            if (hooks.poll)
                hooks.poll();
            take_requests_moving();
            if (static_cast<uint32_t>(now - published) >= kWaitPublishMs) {
                read_machine();
                publish();
                published = now;
            }
        }
        if (!next)
            break;
    }
    kp::StreamReport report = stream.finish();
    if (jogging && report.end == kp::StreamEnd::Stopped)
        report.end = kp::StreamEnd::Done; // a cancelled jog has done what was asked
    session.reader = reader; // its position: the card's, read as the work ends
    session.parameters = parameters;
    ended(*this, report, stream.motion_ms(), jogging ? "jog done" : "lines done", "");
}

} // namespace korva3_control
