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
#include "gcode/block.h"
#include "gcode/modal.h"
#include "gcode/profile.h"

namespace korva3_gcode {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kMostSpeed = 2040; // the library's cap, pulses of path per slice
constexpr double kMostPulses = 2147483647.0;
constexpr double kMostRadius = 683565275.0; // a full turn must stay below 2^32 pulses

const char *kAxes = "XYZ";

struct State {
    int motion = -1;      // code10 of the motion mode, -1 none (G80)
    int plane = 170;      // G17, G18, G19
    bool inches = false;  // G20
    bool relative = false; // G91
    double feed = 0;      // program units per minute
    Point pos{};          // machine position, mm (from where the card stood at the start)
    Point offset{};       // G92: machine = program + offset, mm
    Pulses at{};          // the card's target, pulses
    uint32_t outputs = 0; // the card's output bits as set by the program
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
            stop(300);
        prog_.end = st_.at;
    }

private:
    void fail(const std::string &what)
    {
        errors_.push_back(name_ + ":" + std::to_string(line_) + ": " + what);
    }

    double unit() const { return st_.inches ? 25.4 : 1.0; }

    bool has(const LineWords &l, char c) const { return l.values.count(c) != 0; }

    void carry_out(const LineWords &l)
    {
        const auto &c = l.codes;
        // Feed (in the units in force after this line's G20/G21).
        if (c[Units])
            st_.inches = *c[Units] == 200;
        if (has(l, 'F')) {
            if (l.values.at('F') < 0)
                return fail("F must not be negative");
            st_.feed = l.values.at('F');
        }
        if (has(l, 'S') && l.values.at('S') < 0)
            return fail("S must not be negative");
        outputs(l);
        bool dwell = c[NonModal] && *c[NonModal] == 40;
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
            st_.relative = *c[Distance] == 910;
        bool axes = has(l, 'X') || has(l, 'Y') || has(l, 'Z');
        if (c[NonModal] && *c[NonModal] == 920) {
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
        bool arc = st_.motion == 20 || st_.motion == 30;
        if (arc_words && !(arc && (axes || c[Motion])))
            return fail("I, J, K and R are used only by G2 and G3");
        if (axes || (c[Motion] && arc)) {
            if (st_.motion < 0 || st_.motion == 800)
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
            set(t.spindle, *l.codes[Spindle] == 30);
        if (l.codes[Coolant] && *l.codes[Coolant] == 90) {
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

    void stop(int code10)
    {
        if (code10 == 0) {
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
                                     " pulses per slice; the card runs it at 2040 (warned once)");
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
            if (std::fabs(p) > kMostPulses) {
                fail(std::string(1, kAxes[a]) + " goes to " + number_text(target[a]) +
                     " mm, beyond the card's reach (" + number_text(kMostPulses) + " pulses)");
                return false;
            }
            to[a] = static_cast<int64_t>(p);
            if (std::fabs(p - static_cast<double>(st_.at[a])) > kMostPulses) {
                fail(std::string("a move of more than ") + number_text(kMostPulses) +
                     " pulses on " + kAxes[a]);
                return false;
            }
        }
        if (st_.motion != 0 && st_.feed <= 0) {
            fail(word_text('G', st_.motion) + " with no feed rate (F)");
            return false;
        }
        bool ok = st_.motion <= 10 ? line_move(target, to) : arc_move(l, target, to);
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
        double feed = st_.motion == 0 ? set_.rapid : st_.feed * unit();
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
        m.slices = static_cast<uint32_t>(profile_slices(
            static_cast<uint64_t>(pulses), m.speed, set_.accel, set_.start_speed));
        prog_.slices += m.slices;
        prog_.moves.push_back(m);
        return true;
    }

    static Move with_plane(Move m, uint32_t plane, int64_t du, int64_t dv)
    {
        m.plane = plane;
        m.u = static_cast<int32_t>(du);
        m.v = static_cast<int32_t>(dv);
        return m;
    }

    bool arc_move(const LineWords &l, const Point &target, const Pulses &to)
    {
        // The plane's axes as the library names them (u, v) and the axis across it.
        int iu, iv, in;
        uint32_t plane;
        const char *name;
        switch (st_.plane) {
        case 170: iu = 0, iv = 1, in = 2, plane = 1, name = "XY plane (G17)"; break;
        case 180: iu = 0, iv = 2, in = 1, plane = 2, name = "XZ plane (G18)"; break;
        default: iu = 1, iv = 2, in = 0, plane = 3, name = "YZ plane (G19)"; break;
        }
        const char *offsets = "IJK";
        if (has(l, offsets[in])) {
            fail(std::string(1, offsets[in]) + " is no offset of the " + name);
            return false;
        }
        if (to[in] != st_.at[in]) {
            fail(std::string("helical arc: ") + kAxes[in] + " moves in an arc of the " + name +
                 " (not supported)");
            return false;
        }
        double k = set_.scale[iu];
        if (set_.scale[iv] != k) {
            fail(std::string("an arc in the ") + name + " needs one scale for " + kAxes[iu] +
                 " and " + kAxes[iv] + " (they are " + number_text(k) + " and " +
                 number_text(set_.scale[iv]) + " pulses per mm)");
            return false;
        }
        // G2 is clockwise seen from the positive end of the axis across the plane; in
        // G18 that view has Z to the right and X up, the library's X-Z plane the reverse.
        bool ccw = (st_.motion == 30) != (plane == 2);
        PlanePoint s{st_.pos[iu], st_.pos[iv]}, e{target[iu], target[iv]}, c;
        double chord = std::hypot(e.u - s.u, e.v - s.v);
        bool full = chord < 1e-9;
        if (has(l, 'R')) {
            if (has(l, offsets[iu]) || has(l, offsets[iv])) {
                fail("R and I, J or K on one arc");
                return false;
            }
            double r = l.values.at('R') * unit();
            if (full) {
                fail("a full circle needs I, J or K, not R");
                return false;
            }
            if (r == 0 || chord > 2 * std::fabs(r) + set_.arc_tolerance) {
                fail("R" + number_text(l.values.at('R')) + " cannot reach the end point (" +
                     number_text(chord / unit()) + " away)");
                return false;
            }
            double half = 0.5 * chord;
            double h = std::sqrt(std::fmax(0, r * r - half * half));
            double tu = (e.u - s.u) / chord, tv = (e.v - s.v) / chord;
            double side = (!ccw == (r > 0)) ? h : -h; // right of the chord: (tv, -tu)
            c = {0.5 * (s.u + e.u) + side * tv, 0.5 * (s.v + e.v) - side * tu};
        } else {
            if (!has(l, offsets[iu]) && !has(l, offsets[iv])) {
                fail(word_text('G', st_.motion) + " needs " + offsets[iu] + " and " +
                     offsets[iv] + ", or R");
                return false;
            }
            auto off = [&](int i) { return has(l, offsets[i]) ? l.values.at(offsets[i]) * unit() : 0; };
            c = {s.u + off(iu), s.v + off(iv)};
        }
        double r0 = std::hypot(s.u - c.u, s.v - c.v), r1 = std::hypot(e.u - c.u, e.v - c.v);
        if (r0 < 1e-9) {
            fail("the arc's centre is its start point");
            return false;
        }
        if (std::fabs(r0 - r1) > std::fmax(set_.arc_tolerance, 0.001 * r0)) {
            fail("the end point is not on the arc's circle: radius " + number_text(r0 / unit()) +
                 " at the start, " + number_text(r1 / unit()) + " at the end");
            return false;
        }
        double a0 = std::atan2(s.v - c.v, s.u - c.u);
        double turn = std::atan2(e.v - c.v, e.u - c.u) - a0;
        if (full)
            turn = ccw ? 2 * kPi : -2 * kPi;
        else if (ccw)
            while (turn <= 0) turn += 2 * kPi;
        else
            while (turn >= 0) turn -= 2 * kPi;
        arc_extent(c, r0, a0, turn, iu, iv, target);

        Point centre_p = st_.pos;
        for (int a = 0; a < 3; a++)
            centre_p[a] *= set_.scale[a];
        centre_p[iu] = c.u * k;
        centre_p[iv] = c.v * k;
        double radius_p = r0 * k;
        if (radius_p > kMostRadius) {
            fail("an arc of radius " + number_text(r0 / unit()) + ": more than " +
                 number_text(kMostRadius) + " pulses");
            return false;
        }
        PlanePoint sp{static_cast<double>(st_.at[iu]), static_cast<double>(st_.at[iv])};
        PlanePoint ep{static_cast<double>(to[iu]), static_cast<double>(to[iv])};
        PlanePoint cp{c.u * k, c.v * k};
        uint32_t spd = speed(st_.feed * unit(), 1, k);
        Move m = here(Op::Arc);
        m.plane = plane;
        m.speed = spd;
        m.centre = centre_p;
        m.ideal_radius = radius_p;
        int32_t cu, cv;
        if (full && fit_circle(sp, cp, radius_p, cu, cv)) {
            m.op = Op::Circle;
            m.u = cu;
            m.v = cv;
            m.direction = ccw ? 1 : 0;
            m.slices = static_cast<uint32_t>(profile_slices(
                static_cast<uint64_t>(std::hypot(cu, cv) * 6.283185308), spd, set_.accel,
                set_.start_speed));
            prog_.slices += m.slices;
            prog_.moves.push_back(m);
            return true;
        }
        if (radius_p < 2) { // an arc of a pulse or two: a line does it
            Point t = target;
            return line_move(t, to);
        }
        Pulses at = st_.at;
        double angle = a0;
        for (const ArcPiece &p : fit_arc(sp, ep, cp, radius_p, a0, turn)) {
            angle += p.direction ? p.turn : -p.turn;
            Move piece = m;
            piece.u = p.end_u;
            piece.v = p.end_v;
            piece.radius = p.radius;
            piece.direction = p.direction;
            at[iu] += p.end_u;
            at[iv] += p.end_v;
            piece.to = at;
            piece.ideal_to = centre_p;
            piece.ideal_to[iu] = cp.u + radius_p * std::cos(angle);
            piece.ideal_to[iv] = cp.v + radius_p * std::sin(angle);
            double r = std::fabs(static_cast<double>(p.radius));
            double central = 2 * std::asin(std::fmin(1.0, 0.5 * std::hypot(p.end_u, p.end_v) / r));
            double lib_angle = p.radius > 0 ? central : 6.283185308 - central;
            piece.slices = static_cast<uint32_t>(profile_slices(
                static_cast<uint64_t>(lib_angle * r), spd, set_.accel, set_.start_speed));
            prog_.slices += piece.slices;
            prog_.moves.push_back(piece);
        }
        return true;
    }

    // The arc's end point and every quarter-turn point it passes, for the extent.
    void arc_extent(PlanePoint c, double r, double a0, double turn, int iu, int iv,
                    const Point &target)
    {
        extend(target);
        double lo = std::fmin(a0, a0 + turn), hi = std::fmax(a0, a0 + turn);
        for (double q = std::ceil(lo / (kPi / 2)); q * (kPi / 2) <= hi; q++) {
            Point p = target;
            p[iu] = c.u + r * std::cos(q * kPi / 2);
            p[iv] = c.v + r * std::sin(q * kPi / 2);
            extend(p);
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
