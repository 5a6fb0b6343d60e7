// program.cpp - reading a G-code program into the card's moves.
//
// Each line is read into words, its G and M words are sorted into their modal groups
// (two of one group is an error), and then it is carried out in a fixed order, as
// LinuxCNC does: feed, spindle and coolant, dwell, plane, units, distance mode, G92,
// the motion, and last the stop words.
#include "gcode/program.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>

#include "gcode/arc_fit.h"
#include "gcode/arc_geometry.h"
#include "gcode/block.h"
#include "gcode/modal.h"
#include "gcode/profile.h"

namespace korva3_gcode {

namespace {

constexpr double kMostPulses = 2147483647.0;
constexpr double kMostRadius = 683565275.0; // a full turn must stay below 2^32 pulses

const char *kAxes = "XYZ";
const char *kOffsets = "IJK"; // the arc's centre from its start, along X, Y, Z

bool is_arc(int motion) { return motion == kClockwise || motion == kCounterClockwise; }

struct State {
    int motion = kMotionOff; // GCode of the motion mode in force
    int plane = kPlaneXY; // GCode of the arcs' plane
    bool inches = false;  // G20
    bool relative = false; // G91
    double feed = 0;      // program units per minute
    Point pos{};          // machine position, mm (from where the card stood at the start)
    Point offset{};       // G92: machine = program + offset, mm
    Pulses at{};          // the card's target, pulses
    uint32_t outputs = 0; // the card's output bits as set by the program
};

// An arc being read: millimetres in its plane (see arc_geometry.h).
struct Arc {
    ArcPlane plane;
    bool ccw = false;  // counter-clockwise in the plane's (u, v)
    bool full = false; // a whole turn: the end is the start
    PlanePoint start{}, end{}, centre{};
    double radius = 0;
    Sweep sweep{};
};

class Reader {
public:
    Reader(const std::string &name, const Settings &settings, Program &program,
           std::vector<std::string> &errors)
        : name_(name), set_(settings), prog_(program), errors_(errors)
    {
    }

    void line(int number, const std::string &text)
    {
        line_ = number;
        Block block;
        std::string error;
        if (!read_block(text, block, error))
            return fail(error);
        LineWords l;
        if (!sort_words(block, l, error))
            return fail(error);
        carry_out(l);
    }

    bool ended() const { return ended_; }

    void finish()
    {
        if (!ended_)
            stop(kEnd); // the file's end ends the program as M2 does
        prog_.end = st_.at;
    }

private:
    void fail(const std::string &what)
    {
        errors_.push_back(name_ + ":" + std::to_string(line_) + ": " + what);
    }

    bool refuse(const std::string &what)
    {
        fail(what);
        return false;
    }

    double unit() const { return st_.inches ? 25.4 : 1.0; }

    bool has(const LineWords &l, char c) const { return l.values.count(c) != 0; }

    void carry_out(const LineWords &l)
    {
        const auto &c = l.codes;
        // Feed (in the units in force after this line's G20/G21).
        if (c[Units])
            st_.inches = *c[Units] == kInches;
        if (has(l, 'F')) {
            if (l.values.at('F') < 0)
                return fail("F must not be negative");
            st_.feed = l.values.at('F');
        }
        if (has(l, 'S') && l.values.at('S') < 0)
            return fail("S must not be negative");
        outputs(l);
        bool dwell = c[NonModal] && *c[NonModal] == kDwell;
        if (has(l, 'P') && !dwell)
            return fail("P is used only by G4 (dwell)");
        if (dwell) {
            if (!has(l, 'P') || l.values.at('P') < 0)
                return fail("G4 needs P, the dwell in seconds (0 or more)");
            add_dwell(l.values.at('P'));
        }
        if (c[Plane])
            st_.plane = *c[Plane];
        if (c[Distance])
            st_.relative = *c[Distance] == kRelative;
        bool axes = has(l, 'X') || has(l, 'Y') || has(l, 'Z');
        if (c[NonModal] && *c[NonModal] == kSetOffset) {
            if (c[Motion])
                return fail("G92 and " + word_text('G', *c[Motion]) + " on one line");
            if (!axes)
                return fail("G92 needs X, Y or Z");
            for (int a = 0; a < 3; a++)
                if (has(l, kAxes[a]))
                    st_.offset[a] = st_.pos[a] - l.values.at(kAxes[a]) * unit();
            axes = false;
        } else if (c[Motion]) {
            st_.motion = *c[Motion];
        }
        bool arc_words = has(l, 'I') || has(l, 'J') || has(l, 'K') || has(l, 'R');
        bool arc = is_arc(st_.motion);
        if (arc_words && !(arc && (axes || c[Motion])))
            return fail("I, J, K and R are used only by G2 and G3");
        if (axes || (c[Motion] && arc)) {
            if (st_.motion == kMotionOff)
                return fail("X, Y or Z with no motion mode in force (G0, G1, G2 or G3)");
            if (!move(l))
                return;
        }
        if (c[Stop])
            stop(*c[Stop]);
    }

    void outputs(const LineWords &l)
    {
        const OutputTable &t = set_.outputs;
        uint32_t bits = st_.outputs;
        auto set = [&bits](int output, bool on) {
            if (output >= 0)
                bits = on ? bits | (1u << output) : bits & ~(1u << output);
        };
        if (l.codes[Spindle])
            set(t.spindle, *l.codes[Spindle] == kSpindleOn);
        if (l.codes[Coolant] && *l.codes[Coolant] == kCoolantOff) {
            set(t.mist, false);
            set(t.flood, false);
        }
        if (l.coolant_on[0])
            set(t.mist, true);
        if (l.coolant_on[1])
            set(t.flood, true);
        if (bits != st_.outputs) {
            Move m = here(Op::Outputs);
            m.outputs = st_.outputs = bits;
            prog_.moves.push_back(m);
        }
    }

    Move here(Op op) const
    {
        Move m;
        m.op = op;
        m.line = line_;
        m.to = st_.at;
        for (int a = 0; a < 3; a++)
            m.ideal_to[a] = st_.pos[a] * set_.scale[a];
        return m;
    }

    void add_dwell(double seconds)
    {
        if (seconds > 86400)
            return fail("G4 P" + number_text(seconds) + ": at most a day (86400 s)");
        Move m = here(Op::Dwell);
        m.ms = static_cast<uint32_t>(std::lround(seconds * 1000));
        prog_.dwell_ms += m.ms;
        prog_.moves.push_back(m);
    }

    void stop(int stop_code)
    {
        if (stop_code == kPause) {
            prog_.moves.push_back(here(Op::Pause));
            return;
        }
        const OutputTable &t = set_.outputs;
        Move m = here(Op::End);
        m.outputs = st_.outputs;
        for (int o : {t.spindle, t.mist, t.flood})
            if (o >= 0)
                m.outputs &= ~(1u << o);
        prog_.moves.push_back(m);
        ended_ = true;
    }

    // The card's speed for `mm_per_min` along a path of `mm` that is `pulses` long on the
    // card (before rounding); a warning, once per feed, when the card cannot go that fast.
    uint32_t speed(double mm_per_min, double mm, double pulses)
    {
        double per_slice = mm_per_min / 60000.0 * set_.slice_us / 1000.0 * (pulses / mm);
        if (per_slice > kMostSpeed + 0.5 && warned_.insert(mm_per_min).second)
            prog_.warnings.push_back(name_ + ":" + std::to_string(line_) + ": " +
                                     number_text(mm_per_min) + " mm/min is " +
                                     number_text(std::round(per_slice)) +
                                     " pulses per slice; the card runs it at " +
                                     std::to_string(kMostSpeed) + " (warned once)");
        return static_cast<uint32_t>(std::fmax(1, std::fmin(kMostSpeed, std::round(per_slice))));
    }

    bool move(const LineWords &l)
    {
        Point target = st_.pos; // machine mm
        for (int a = 0; a < 3; a++) {
            if (!has(l, kAxes[a]))
                continue;
            double v = l.values.at(kAxes[a]) * unit();
            target[a] = st_.relative ? st_.pos[a] + v : v + st_.offset[a];
        }
        Pulses to;
        for (int a = 0; a < 3; a++) {
            double p = std::round(target[a] * set_.scale[a]);
            if (std::fabs(p) > kMostPulses)
                return refuse(std::string(1, kAxes[a]) + " goes to " + number_text(target[a]) +
                              " mm, beyond the card's reach (" + number_text(kMostPulses) +
                              " pulses)");
            to[a] = static_cast<int64_t>(p);
            if (std::fabs(p - static_cast<double>(st_.at[a])) > kMostPulses)
                return refuse(std::string("a move of more than ") + number_text(kMostPulses) +
                              " pulses on " + kAxes[a]);
        }
        if (st_.motion != kRapid && st_.feed <= 0)
            return refuse(word_text('G', st_.motion) + " with no feed rate (F)");
        bool ok = is_arc(st_.motion) ? arc_move(l, target, to) : line_move(target, to);
        if (ok) {
            st_.pos = target;
            st_.at = to;
        }
        return ok;
    }

    void extend(const Point &mm)
    {
        for (int a = 0; a < 3; a++) {
            prog_.extent.low[a] = std::fmin(prog_.extent.low[a], mm[a]);
            prog_.extent.high[a] = std::fmax(prog_.extent.high[a], mm[a]);
        }
    }

    bool line_move(const Point &target, const Pulses &to)
    {
        extend(target);
        int64_t d[3];
        double mm = 0, ideal = 0, pulses = 0; // lengths: mm, unrounded pulses, pulses
        for (int a = 0; a < 3; a++) {
            d[a] = to[a] - st_.at[a];
            pulses += static_cast<double>(d[a]) * static_cast<double>(d[a]);
            double da = target[a] - st_.pos[a];
            mm += da * da;
            ideal += da * set_.scale[a] * da * set_.scale[a];
        }
        if (d[0] == 0 && d[1] == 0 && d[2] == 0)
            return true;
        pulses = std::sqrt(pulses);
        Move m = here(Op::Line);
        m.to = to;
        for (int a = 0; a < 3; a++)
            m.ideal_to[a] = target[a] * set_.scale[a];
        double feed = st_.motion == kRapid ? set_.rapid : st_.feed * unit();
        m.speed = speed(feed, std::sqrt(mm), std::sqrt(ideal));
        if (d[0] && d[1] && d[2])
            m.plane = 0;
        else if (!d[2])
            m = with_plane(m, 1, d[0], d[1]);
        else if (!d[1])
            m = with_plane(m, 2, d[0], d[2]);
        else
            m = with_plane(m, 3, d[1], d[2]);
        if (m.plane == 0) {
            m.u = static_cast<int32_t>(d[0]);
            m.v = static_cast<int32_t>(d[1]);
            m.w = static_cast<int32_t>(d[2]);
        }
        add_path(m, pulses);
        return true;
    }

    // Adds a move of the card along a path of `pulses`, with the slices it will take.
    void add_path(Move m, double pulses)
    {
        m.slices = static_cast<uint32_t>(profile_slices(static_cast<uint64_t>(pulses), m.speed,
                                                        set_.accel, set_.start_speed));
        prog_.slices += m.slices;
        prog_.moves.push_back(m);
    }

    static Move with_plane(Move m, uint32_t plane, int64_t du, int64_t dv)
    {
        m.plane = plane;
        m.u = static_cast<int32_t>(du);
        m.v = static_cast<int32_t>(dv);
        return m;
    }

    // G2 or G3: the arc's plane and centre, checked, then its moves.
    bool arc_move(const LineWords &l, const Point &target, const Pulses &to)
    {
        Arc arc;
        arc.plane = arc_plane(st_.plane);
        const ArcPlane &p = arc.plane;
        if (!arc_in_plane(l, p, to))
            return false;
        arc.ccw = counter_clockwise(st_.motion, p);
        arc.start = {st_.pos[p.u], st_.pos[p.v]};
        arc.end = {target[p.u], target[p.v]};
        arc.full = std::hypot(arc.end.u - arc.start.u, arc.end.v - arc.start.v) < kSamePoint;
        bool centred = has(l, 'R') ? centre_from_r(l, arc) : centre_from_offsets(l, arc);
        if (!centred || !arc_radius(arc))
            return false;
        arc.sweep = arc_sweep(arc.start, arc.end, arc.centre, arc.ccw, arc.full);
        arc_extent(arc, target);
        return add_arc(arc, target, to);
    }

    // An arc lies in its plane, on axes of one scale.
    bool arc_in_plane(const LineWords &l, const ArcPlane &p, const Pulses &to)
    {
        if (has(l, kOffsets[p.across]))
            return refuse(std::string(1, kOffsets[p.across]) + " is no offset of the " + p.name);
        if (to[p.across] != st_.at[p.across])
            return refuse(std::string("helical arc: ") + kAxes[p.across] +
                          " moves in an arc of the " + p.name + " (not supported)");
        if (set_.scale[p.v] != set_.scale[p.u])
            return refuse(std::string("an arc in the ") + p.name + " needs one scale for " +
                          kAxes[p.u] + " and " + kAxes[p.v] + " (they are " +
                          number_text(set_.scale[p.u]) + " and " + number_text(set_.scale[p.v]) +
                          " pulses per mm)");
        return true;
    }

    bool centre_from_r(const LineWords &l, Arc &arc)
    {
        if (has(l, kOffsets[arc.plane.u]) || has(l, kOffsets[arc.plane.v]))
            return refuse("R and I, J or K on one arc");
        if (arc.full)
            return refuse("a full circle needs I, J or K, not R");
        double r = l.values.at('R') * unit();
        double chord = std::hypot(arc.end.u - arc.start.u, arc.end.v - arc.start.v);
        if (r == 0 || chord > 2 * std::fabs(r) + set_.arc_tolerance)
            return refuse("R" + number_text(l.values.at('R')) + " cannot reach the end point (" +
                          number_text(chord / unit()) + " away)");
        arc.centre = centre_from_radius(arc.start, arc.end, r, arc.ccw);
        return true;
    }

    bool centre_from_offsets(const LineWords &l, Arc &arc)
    {
        char ou = kOffsets[arc.plane.u], ov = kOffsets[arc.plane.v];
        if (!has(l, ou) && !has(l, ov))
            return refuse(word_text('G', st_.motion) + " needs " + ou + " and " + ov + ", or R");
        auto offset = [&](char c) { return has(l, c) ? l.values.at(c) * unit() : 0; };
        arc.centre = {arc.start.u + offset(ou), arc.start.v + offset(ov)};
        return true;
    }

    // The radius: the start's distance from the centre, and the end's the same.
    bool arc_radius(Arc &arc)
    {
        const PlanePoint &c = arc.centre;
        double r0 = std::hypot(arc.start.u - c.u, arc.start.v - c.v);
        double r1 = std::hypot(arc.end.u - c.u, arc.end.v - c.v);
        if (r0 < kSamePoint)
            return refuse("the arc's centre is its start point");
        if (std::fabs(r0 - r1) > std::fmax(set_.arc_tolerance, 0.001 * r0))
            return refuse("the end point is not on the arc's circle: radius " +
                          number_text(r0 / unit()) + " at the start, " +
                          number_text(r1 / unit()) + " at the end");
        arc.radius = r0;
        return true;
    }

    // The arc's end point and every quarter-turn point it passes, for the extent.
    void arc_extent(const Arc &arc, const Point &target)
    {
        extend(target);
        for (const PlanePoint &q : quarter_points(arc.centre, arc.radius, arc.sweep)) {
            Point p = target;
            p[arc.plane.u] = q.u;
            p[arc.plane.v] = q.v;
            extend(p);
        }
    }

    // The arc in pulses as the card's moves: a full turn as one library circle where one
    // fits, an arc of a pulse or two as a line, any other as library arcs.
    bool add_arc(const Arc &arc, const Point &target, const Pulses &to)
    {
        const ArcPlane &p = arc.plane;
        double k = set_.scale[p.u];
        double radius = arc.radius * k;
        if (radius > kMostRadius)
            return refuse("an arc of radius " + number_text(arc.radius / unit()) + ": more than " +
                          number_text(kMostRadius) + " pulses");
        Move m = here(Op::Arc);
        m.plane = p.library_plane;
        m.speed = speed(st_.feed * unit(), 1, k);
        m.centre = m.ideal_to; // the start: across the plane the centre stays there
        m.centre[p.u] = arc.centre.u * k;
        m.centre[p.v] = arc.centre.v * k;
        m.ideal_radius = radius;
        PlanePoint start{static_cast<double>(st_.at[p.u]), static_cast<double>(st_.at[p.v])};
        PlanePoint centre{m.centre[p.u], m.centre[p.v]};
        if (arc.full && add_circle(m, start, centre, arc.ccw))
            return true;
        if (radius < 2) // an arc of a pulse or two: a line does it
            return line_move(target, to);
        PlanePoint end{static_cast<double>(to[p.u]), static_cast<double>(to[p.v])};
        add_arc_pieces(m, arc, start, end, centre);
        return true;
    }

    // A full turn as the library's circle; false when none stays on the program's.
    bool add_circle(Move m, PlanePoint start, PlanePoint centre, bool ccw)
    {
        int32_t cu, cv;
        if (!fit_circle(start, centre, m.ideal_radius, cu, cv))
            return false;
        m.op = Op::Circle;
        m.u = cu;
        m.v = cv;
        m.direction = ccw ? 1 : 0;
        add_path(m, library_circle_length(cu, cv));
        return true;
    }

    // The arc as library arcs (see arc_fit.h), each `m` with its own end and radius.
    void add_arc_pieces(const Move &m, const Arc &arc, PlanePoint start, PlanePoint end,
                        PlanePoint centre)
    {
        const ArcPlane &p = arc.plane;
        Pulses at = st_.at;
        double angle = arc.sweep.start_angle;
        for (const ArcPiece &piece :
             fit_arc(start, end, centre, m.ideal_radius, angle, arc.sweep.turn)) {
            angle += piece.direction ? piece.turn : -piece.turn;
            Move a = m;
            a.u = piece.end_u;
            a.v = piece.end_v;
            a.radius = piece.radius;
            a.direction = piece.direction;
            at[p.u] += piece.end_u;
            at[p.v] += piece.end_v;
            a.to = at;
            a.ideal_to = m.centre;
            a.ideal_to[p.u] = centre.u + m.ideal_radius * std::cos(angle);
            a.ideal_to[p.v] = centre.v + m.ideal_radius * std::sin(angle);
            add_path(a, library_length(piece));
        }
    }
    const std::string &name_;
    const Settings &set_;
    Program &prog_;
    std::vector<std::string> &errors_;
    State st_;
    int line_ = 0;
    bool ended_ = false;
    std::set<double> warned_; // feeds, mm/min
};

} // namespace

bool read_program(const std::string &name, const std::string &text, const Settings &settings,
                  Program &program, std::vector<std::string> &errors)
{
    program = Program{};
    program.name = name;
    size_t before = errors.size();
    Reader reader(name, settings, program, errors);
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        number++;
        if (!reader.ended())
            reader.line(number, line);
    }
    program.lines = number;
    reader.finish();
    if (errors.size() != before) {
        program.moves.clear();
        return false;
    }
    return true;
}

double estimated_ms(const Program &program, const Settings &settings)
{
    return static_cast<double>(program.slices) * settings.slice_us / 1000.0 + program.dwell_ms;
}

} // namespace korva3_gcode
