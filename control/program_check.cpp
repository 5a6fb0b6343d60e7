// program_check.cpp - a program read and planned without moving anything: its errors,
// its figures, the plan's time along its steps, and its outline, in bounded memory.
#include "control/program_check.h"

#include <cmath>
#include <sys/stat.h>

#include "gcode/line_source.h"
#include "gcode/move_sink.h"
#include "gcode/path_moves.h"
#include "gcode/stream.h"
#include "planner/slicer.h"

namespace korva3_control {

namespace kg = korva3_gcode;
namespace kp = korva3_planner;

namespace {

double mm_between(const kg::MmPoint &a, const kg::MmPoint &b)
{
    const kp::Vec3 d{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    return std::sqrt(kp::dot(d, d));
}

// An arc's length: the turn on its radius in the plane, with the helix's rise across it.
double arc_mm(const kg::MmPoint &from, const kg::Move &m)
{
    const int w = 3 - m.u - m.v;
    const double du = from[m.u] - m.centre[m.u];
    const double dv = from[m.v] - m.centre[m.v];
    return std::hypot(std::hypot(du, dv) * std::fabs(m.turn), m.end[w] - from[w]);
}

// Chords along an arc for the outline: one every 0.08 radians or so.
void arc_points(const kg::MmPoint &from, const kg::Move &m, Outline &outline)
{
    const int w = 3 - m.u - m.v;
    const double du = from[m.u] - m.centre[m.u];
    const double dv = from[m.v] - m.centre[m.v];
    const double r0 = std::hypot(du, dv), a0 = std::atan2(dv, du);
    const double r1 = std::hypot(m.end[m.u] - m.centre[m.u], m.end[m.v] - m.centre[m.v]);
    const int n = std::max(2, static_cast<int>(std::ceil(std::fabs(m.turn) / 0.08)));
    for (int i = 1; i < n; i++) {
        const double f = double(i) / n, r = r0 + (r1 - r0) * f;
        kg::MmPoint p = from;
        p[m.u] = m.centre[m.u] + r * std::cos(a0 + f * m.turn);
        p[m.v] = m.centre[m.v] + r * std::sin(a0 + f * m.turn);
        p[w] = from[w] + f * (m.end[w] - from[w]);
        outline.add(p, false);
    }
}

// The check's consumer: each move counted, drawn and planned as the run plans it, the
// plan's time marked at each step, nothing kept but the window.
class CheckSink : public kg::MoveSink {
public:
    CheckSink(ProgramCheck &c, const kg::Settings &s, const kg::MmPoint &start)
        : c_(c), slicer_(kg::planner_limits(s)), slice_ms_(s.slice_us / 1000.0), start_(start),
          at_(start)
    {
        c_.outline.add(start, true);
    }

    bool line(int, uint64_t sequence) override
    {
        step_ = sequence;
        return true;
    }

    bool move(const kg::Move &m) override
    {
        c_.moves++;
        switch (m.op) {
        case kg::Op::Line:
            c_.line_moves++;
            (m.rapid ? c_.rapid_mm : c_.feed_mm) += mm_between(at_, m.end);
            c_.outline.add(m.end, m.rapid);
            break;
        case kg::Op::Arc:
        case kg::Op::Circle:
            (m.op == kg::Op::Arc ? c_.arcs : c_.circles)++;
            c_.feed_mm += arc_mm(at_, m);
            arc_points(at_, m, c_.outline);
            c_.outline.add(m.end, false);
            break;
        case kg::Op::Dwell:
            c_.dwells++;
            break;
        case kg::Op::Pause:
            c_.pauses++;
            note(c_.pause_notes, m.line, m.note.empty() ? "M0" : m.note);
            break;
        default:
            break;
        }
        if (m.op == kg::Op::Line || m.op == kg::Op::Arc || m.op == kg::Op::Circle)
            at_ = m.end;
        kp::PathMove p = kg::path_move(m, m.op == kg::Op::Dwell ? m.ms : 0);
        p.step = step_;
        for (int a = 0; a < 3; a++) { // as the run: the planner's path starts at 0
            p.end[a] -= start_[a];
            p.centre[a] -= start_[a];
        }
        slicer_.push(p);
        if (!slicer_.wants_more())
            plan();
        return true;
    }

    void message(int line, const std::string &text) override { note(c_.messages, line, text); }

    // The plan to its end: the figures are the program's.
    void finish()
    {
        slicer_.finish();
        plan();
        c_.outline.finish();
        c_.slices = slices_ < 1.8e19 ? static_cast<uint64_t>(slices_) : UINT64_MAX;
        c_.planned_ms = slices_ * slice_ms_ + stand_ms_;
        c_.progress.finish(c_.planned_ms);
    }

private:
    // Slices as the run makes them (the stretches inside a profile counted at once),
    // until the slicer needs more moves; the plan's time at the start of each step.
    void plan()
    {
        kp::Slice slice;
        uint32_t action = 0;
        for (;;) {
            slices_ += slicer_.skip();
            const kp::Next n = slicer_.next(slice, action);
            if (n == kp::Next::NeedMore || n == kp::Next::Done)
                return;
            if (n == kp::Next::Action)
                stand_ms_ += action; // a Stop's action here is its dwell, ms
            if (n == kp::Next::Slice) {
                c_.progress.mark(slice.step, slices_ * slice_ms_ + stand_ms_);
                slices_++;
            }
        }
    }

    void note(std::vector<LineNote> &to, int line, const std::string &text)
    {
        if (to.size() < ProgramCheck::kMaxNotes)
            to.push_back({line, text});
        else
            c_.notes_left_out++;
    }

    ProgramCheck &c_;
    kp::Slicer slicer_;
    double slice_ms_;
    kg::MmPoint start_, at_;
    uint64_t step_ = 0;
    double slices_ = 0;   // so far (may pass 2^64 for absurd feeds)
    double stand_ms_ = 0; // dwells so far
};

} // namespace

ProgramCheck check_program(const std::string &path, const std::string &name,
                           const kg::Settings &settings, kg::State start,
                           kg::Parameters parameters, const kg::ReadOptions &options)
{
    ProgramCheck c;
    c.path = path;
    c.name = name;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        c.file_bytes = static_cast<uint64_t>(st.st_size);
        c.file_time = static_cast<int64_t>(st.st_mtime);
    }
    kg::FileSource file(path);
    if (!file.good()) {
        c.errors.push_back(name + ": cannot be read");
        return c;
    }
    CheckSink sink(c, settings, start.pos);
    kg::ProgramSummary summary;
    const bool good = kg::read_stream(name, file, settings, start, parameters, sink, summary,
                                      c.errors, options);
    c.lines = summary.lines;
    if (!good)
        return c;
    sink.finish();
    c.accepted = true;
    c.end = summary.end;
    c.extent = summary.extent;
    c.dwell_ms = summary.dwell_ms;
    c.coords_used = summary.coords_used;
    c.tools_used = summary.tools_used;
    return c;
}

} // namespace korva3_control
