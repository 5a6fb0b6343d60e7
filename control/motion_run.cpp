// motion_run.cpp - the works that stream to the card: a program read from its file as it
// runs (from its start, or from a line), an MDI line, a jog; and how each ended.
#include <algorithm>
#include <sys/stat.h>

#include "control/controller_impl.h"
#include "control/run_from_line.h"
#include "control/work_stream.h"
#include "gcode/line_source.h"
#include "gcode/move_sink.h"
#include "gcode/stream.h"

namespace korva3_control {

namespace kg = korva3_gcode;
namespace kp = korva3_planner;

namespace {

// The reader's moves into the stream, as it reads them; from a line, the lines before
// it move nothing. An error found while running (the file changed since its check)
// ends the reading: what was read stops in time, braking.
class RunSink : public kg::MoveSink {
public:
    RunSink(WorkStream &stream, const std::vector<std::string> &errors, RunFromLine *from)
        : stream_(stream), errors_(errors), errors_before_(errors.size()), from_(from) {}

    bool line(int number, uint64_t sequence) override
    {
        step_ = sequence;
        if (from_ && !from_->reached())
            from_->begin_line(number);
        return errors_.size() == errors_before_ && !ended_;
    }

    bool move(const kg::Move &m) override
    {
        if (from_ && !from_->reached()) {
            from_->skip(m);
            return true;
        }
        if (from_ && !approached_) {
            approached_ = true;
            for (const kg::Move &a : from_->approach(m))
                if (!stream_.push(a, step_)) {
                    ended_ = true;
                    return false;
                }
        }
        ended_ = !stream_.push(m, step_);
        return !ended_;
    }

    void message(int line, const std::string &text) override
    {
        if (!from_ || from_->reached())
            stream_.message(step_, line, text);
    }

private:
    WorkStream &stream_;
    const std::vector<std::string> &errors_;
    std::size_t errors_before_;
    RunFromLine *from_;
    uint64_t step_ = 0;
    bool approached_ = false;
    bool ended_ = false;
};

// A plain sink for a jog or an approach: moves straight into the stream.
class StreamSink : public kg::MoveSink {
public:
    explicit StreamSink(WorkStream &stream) : stream_(stream) {}
    bool line(int, uint64_t sequence) override
    {
        step_ = sequence;
        return true;
    }
    bool move(const kg::Move &m) override { return stream_.push(m, step_); }
    void message(int line, const std::string &text) override { stream_.message(step_, line, text); }

private:
    WorkStream &stream_;
    uint64_t step_ = 0;
};

// The file's size and time: a program must be run as it was checked.
bool same_file(const std::string &path, const ProgramCheck &c)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) == c.file_bytes &&
           static_cast<int64_t>(st.st_mtime) == c.file_time;
}

} // namespace

void Controller::Impl::run_work(const PendingWork &w)
{
    hold_asked = resume_asked = stop_asked = false;
    error_.clear();
    if (w.kind != WorkKind::Lines || first_line.kind != StreamedLine::Kind::Check)
        session.end_checking();
    switch (w.kind) {
    case WorkKind::Program: run_program(w.from_line); break;
    case WorkKind::Mdi: run_mdi(w.request.text); break;
    case WorkKind::Jog: run_jog(w.request); break;
    case WorkKind::Home: run_home(w.request.axis); break;
    case WorkKind::Lines: run_lines(first_line); break;
    case WorkKind::None: break;
    }
    hold_asked = resume_asked = stop_asked = false;
    jog_continuous = false;
    paused = false;
}

// How a work ended, into the state (done; stopped: spindle and coolant off; e-stop) and
// the report.
void ended(Controller::Impl &c, const kp::StreamReport &r, uint32_t motion_ms,
                  const std::string &done, const std::string &failed = "")
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
    } else if (!failed.empty()) { // an error read while running: stopped there
        c.outputs_off();
        c.stopped_line = r.line;
        c.state = c.activity == Activity::Program ? State::Stopped : State::Idle;
        c.fail(failed);
        w.end = WorkReport::End::Failed;
        w.error = failed;
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
    const std::string name = check->name;
    if (!same_file(program_path, *check)) {
        not_started(*this, Activity::Program,
                    name + ": the file changed since its check: load it again");
        return;
    }
    kg::FileSource file(program_path);
    if (!file.good()) {
        not_started(*this, Activity::Program, "cannot read " + program_path);
        return;
    }
    read_machine();
    state = State::Running;
    activity = Activity::Program;
    say(from_line ? "running " + name + " from line " + std::to_string(from_line)
                  : "running " + name);
    publish();
    std::unique_ptr<RunFromLine> from;
    if (from_line > 0) // the lines before it move nothing; a safe move brings the machine there
        from = std::make_unique<RunFromLine>(from_line, session.reader.pos,
                                             check->extent.high[2] + opt.clearance_mm,
                                             opt.settings.rapid);
    WorkStream stream(*this, session.reader.pos);
    std::vector<std::string> errors;
    RunSink sink(stream, errors, from.get());
    kg::ProgramSummary summary;
    kg::read_stream(name, file, opt.settings, session.reader, session.parameters, sink, summary,
                    errors, opt.read);
    const kp::StreamReport &r = stream.finish();
    ended(*this, r, stream.motion_ms(), name + ": program complete",
          errors.empty() ? "" : errors.front());
}

void Controller::Impl::run_mdi(const std::string &line)
{
    read_machine();
    state = State::Running;
    activity = Activity::Mdi;
    publish();
    WorkStream stream(*this, session.reader.pos);
    StreamSink sink(stream);
    std::vector<std::string> errors;
    kg::State trial = session.reader; // an MDI line with an error changes nothing
    kg::Parameters trial_parameters = session.parameters;
    class Discard : public kg::MoveSink {
        bool move(const kg::Move &) override { return true; }
    } discard;
    if (!kg::read_line(line, opt.settings, trial, trial_parameters, discard, errors, opt.read)) {
        state = State::Idle;
        activity = Activity::None;
        not_started(*this, Activity::Mdi, errors.empty() ? "MDI: refused" : errors.front());
        return;
    }
    kg::read_line(line, opt.settings, session.reader, session.parameters, sink, errors, opt.read);
    const kp::StreamReport &r = stream.finish();
    ended(*this, r, stream.motion_ms(), "MDI done: " + line);
}

void Controller::Impl::run_jog(const Request &r)
{
    read_machine();
    const kg::Settings &s = opt.settings;
    double feed = r.feed_mm_min > 0         ? r.feed_mm_min
                  : opt.jog_feed_mm_min > 0 ? opt.jog_feed_mm_min
                                            : s.max_velocity[r.axis] / 2;
    feed = std::min(feed, s.max_velocity[r.axis]);
    // A continuous jog runs towards a far point and is stopped when its renewals end.
    const double distance =
        r.continuous ? (r.direction < 0 ? -1.0 : 1.0) * kContinuousJogMm : r.number;
    kg::Move m;
    m.op = kg::Op::Line;
    m.end = session.reader.pos;
    m.end[r.axis] += distance;
    m.feed_mm_min = feed;
    state = State::Running;
    activity = Activity::Jog;
    jog_continuous = r.continuous;
    jog_until_ms = link.clock_ms() + opt.jog_deadline_ms;
    WorkStream stream(*this, session.reader.pos);
    stream.push(m, 0);
    kp::StreamReport report = stream.finish();
    // A jog that ends by its cancel or deadline has done what was asked.
    if (report.end == kp::StreamEnd::Stopped)
        report.end = kp::StreamEnd::Done;
    ended(*this, report, stream.motion_ms(), "jog done");
}

} // namespace korva3_control
