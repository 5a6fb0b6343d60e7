// svg_plot.cpp - the layout of a run's picture: the path views and the speed profile.
#include "plot/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <utility>
#include <vector>

#include "plot/svg.h"

namespace korva3_tool {

namespace {

using namespace svg;

const char *const kColours[] = {"#1f5fbf", "#d0542c", "#2a9d4b", "#8e44ad", "#b8860b"};
constexpr double kWidth = 1000;

const char *const kAxisColours[] = {"#1f5fbf", "#d0542c", "#2a9d4b"};
const char *const kCardDashes[] = {"", "6 3", "2 2", "8 3 2 3"}; // cards in the profile

const char *colour(size_t i) { return kColours[i % (sizeof kColours / sizeof *kColours)]; }

// Coordinate u or v of a path record in a view: 0 = X, 1 = Y, 2 = Z.
int32_t coord(const MotionRecord &r, int axis) { return axis == 0 ? r.x : axis == 1 ? r.y : r.z; }

struct View {
    const char *id;    // "xy"
    const char *title; // "XY (top view)"
    int u, v;          // axes shown
};

bool z_moved(const Recording &rec)
{
    for (const CardTrace &t : rec.cards)
        for (const MotionRecord &r : t.path)
            if (r.z != t.path.front().z)
                return true;
    return false;
}

// A path in page units at the picture's resolution: a point is drawn when it lies at
// least half a pixel from the last one drawn, or where the path turns back (an extreme);
// the first and last points always. If that still leaves more than `max_points` points
// (a job that goes back and forth very often), the tolerance grows until it does not.
std::vector<std::pair<double, double>> page_points(const std::vector<MotionRecord> &path,
                                                   const View &view, const Map &m,
                                                   size_t max_points)
{
    std::vector<std::pair<double, double>> all;
    all.reserve(path.size());
    for (const MotionRecord &r : path)
        all.push_back({m.px(coord(r, view.u)), m.py(coord(r, view.v))});
    std::vector<std::pair<double, double>> out;
    for (double tol = 0.5;; tol *= 2) {
        out.clear();
        if (all.empty())
            return out;
        out.push_back(all.front());
        for (size_t k = 1; k < all.size(); k++) {
            const auto &p = all[k], &last = out.back();
            double dx = p.first - last.first, dy = p.second - last.second;
            bool turn = false;
            if (k + 1 < all.size()) {
                double ax = p.first - all[k - 1].first, ay = p.second - all[k - 1].second;
                double bx = all[k + 1].first - p.first, by = all[k + 1].second - p.second;
                turn = ax * bx + ay * by < 0; // the path turns back here
            }
            double need = turn ? tol / 4 : tol;
            if (k + 1 == all.size() || dx * dx + dy * dy >= need * need)
                out.push_back(p);
        }
        if (out.size() <= max_points)
            return out;
    }
}

// One path view: each card's path drawn in page coordinates with a fixed stroke width
// (plain SVG 1.1, so every viewer draws it the same), equal scale on both axes.
void path_view(Writer &w, const Recording &rec, const View &view, const Box &b, size_t max_points)
{
    double u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    bool any = false;
    for (const CardTrace &t : rec.cards)
        for (const MotionRecord &r : t.path) {
            double u = coord(r, view.u), v = coord(r, view.v);
            if (!any) {
                u0 = u1 = u;
                v0 = v1 = v;
                any = true;
            }
            u0 = std::min(u0, u);
            u1 = std::max(u1, u);
            v0 = std::min(v0, v);
            v1 = std::max(v1, v);
        }
    double span = std::max({u1 - u0, v1 - v0, 10.0});
    double pad = span * 0.06;
    double s = std::min(b.w / (u1 - u0 + 2 * pad), b.h / (v1 - v0 + 2 * pad));
    double cu = (u0 + u1) / 2, cv = (v0 + v1) / 2;
    Map m{s, s, b.x + b.w / 2 - s * cu, b.y + b.h / 2 + s * cv};
    double vu0 = cu - b.w / (2 * s), vu1 = cu + b.w / (2 * s);
    double vv0 = cv - b.h / (2 * s), vv1 = cv + b.h / (2 * s);

    const char *names = "XYZ";
    w.text(b.x, b.y - 10, view.title, "start", 14, "font-weight=\"bold\" fill=\"#222\"");
    int ticks = b.w > 500 ? 10 : 5;
    w.axes(b, m, vu0, vu1, vv0, vv1, std::string(1, names[view.u]) + " (pulses)",
           std::string(1, names[view.v]) + " (pulses)", ticks,
           std::max(3, static_cast<int>(ticks * b.h / b.w)));

    w.s << "<clipPath id=\"clip-" << view.id << "\"><rect x=\"" << num(b.x) << "\" y=\""
        << num(b.y) << "\" width=\"" << num(b.w) << "\" height=\"" << num(b.h)
        << "\"/></clipPath>\n"
        << "<g clip-path=\"url(#clip-" << view.id << ")\">\n";
    for (size_t i = 0; i < rec.cards.size(); i++) {
        const CardTrace &t = rec.cards[i];
        if (t.path.empty())
            continue;
        const MotionRecord &a = t.path.front(), &z = t.path.back();
        // One polyline per run of the path between new coordinates (homing, zero, preset).
        std::vector<std::vector<MotionRecord>> runs(1);
        for (const MotionRecord &r : t.path) {
            if (r.jump && !runs.back().empty())
                runs.emplace_back();
            runs.back().push_back(r);
        }
        for (const std::vector<MotionRecord> &run : runs) {
            const MotionRecord &ra = run.front(), &rz = run.back();
            // data-start and data-end: the run's first and last positions in pulses.
            w.s << "<polyline class=\"path\" data-view=\"" << view.id << "\" data-card=\""
                << t.index << "\" data-start=\"" << coord(ra, view.u) << "," << coord(ra, view.v)
                << "\" data-end=\"" << coord(rz, view.u) << "," << coord(rz, view.v)
                << "\" fill=\"none\" stroke=\"" << colour(i)
                << "\" stroke-width=\"1.8\" stroke-linejoin=\"round\" stroke-linecap=\"round\" "
                   "points=\"";
            bool first = true;
            size_t run_max_points = std::max<size_t>(2, max_points / runs.size());
            for (const auto &p : page_points(run, view, m, run_max_points)) {
                w.s << (first ? "" : " ") << num(p.first) << "," << num(p.second);
                first = false;
            }
            w.s << "\"/>\n";
        }
        w.s << "<circle cx=\"" << num(m.px(coord(a, view.u))) << "\" cy=\""
            << num(m.py(coord(a, view.v))) << "\" r=\"5\" fill=\"#2a9d4b\" stroke=\"#fff\" "
            << "stroke-width=\"1.5\"/>\n"
            << "<circle cx=\"" << num(m.px(coord(z, view.u))) << "\" cy=\""
            << num(m.py(coord(z, view.v))) << "\" r=\"4\" fill=\"#c0392b\" stroke=\"#fff\" "
            << "stroke-width=\"1.5\"/>\n";
    }
    w.s << "</g>\n";
}

// The speed profile: each axis's speed (pulses per ms, signed) per card against virtual
// time, moves and homing included; 0 where an axis stood. Dashed lines mark where a job
// line's motion began, labelled with the line that defined it.
void speed_profile(Writer &w, const Recording &rec, const Box &b)
{
    double t1 = std::max(1.0, double(rec.end_ms) - double(rec.start_ms));
    double lo = 0, hi = 0;
    bool any = false;
    for (const CardTrace &t : rec.cards)
        for (const SpeedBin &bin : t.speed.bins())
            if (bin.seen)
                for (int a = 0; a < 3; a++) {
                    lo = std::min<double>(lo, bin.lo[a]);
                    hi = std::max<double>(hi, bin.hi[a]);
                    any |= bin.lo[a] != 0 || bin.hi[a] != 0;
                }
    w.text(b.x, b.y - 10, "Speed profile", "start", 14, "font-weight=\"bold\" fill=\"#222\"");
    w.text(b.x + 120, b.y - 10,
           "each axis's speed against time; dashed: where a job line's motion begins (its line)",
           "start", 12, "fill=\"#555\"");
    for (int a = 0; a < 3; a++) {
        double lx = b.right() - 130 + 45 * a;
        w.line(lx, b.y - 14, lx + 16, b.y - 14,
               std::string("stroke=\"") + kAxisColours[a] + "\" stroke-width=\"2\"");
        w.text(lx + 20, b.y - 10, std::string(1, "XYZ"[a]), "start", 12, "fill=\"#333\"");
    }
    double pad = std::max(1.0, (hi - lo) * 0.08);
    double v0 = lo < 0 ? lo - pad : 0, v1 = hi > 0 ? hi + pad : (lo < 0 ? pad : 1);
    Map m{b.w / t1, b.h / (v1 - v0), b.x, b.bottom() + v0 * b.h / (v1 - v0)};
    w.axes(b, m, 0, t1, v0, v1, "time (ms)", "pulses per ms", 10, 5);
    if (!any) {
        w.text(b.x + b.w / 2, b.y + b.h / 2, "no motion", "middle", 13, "fill=\"#888\"");
        return;
    }
    // Marks of every card in time order: at most one every 3 pixels, a label every 22.
    std::vector<LineMark> marks;
    for (const CardTrace &t : rec.cards)
        marks.insert(marks.end(), t.marks.begin(), t.marks.end());
    std::stable_sort(marks.begin(), marks.end(),
                     [](const LineMark &a, const LineMark &b) { return a.t_us < b.t_us; });
    double last_mark = -1e9, last_label = -1e9;
    for (const LineMark &mk : marks) {
        double x = m.px(double(mk.t_us) / 1000.0 - rec.start_ms);
        if (std::fabs(x - last_mark) < 3)
            continue;
        last_mark = x;
        w.line(x, b.y, x, b.bottom(),
               "class=\"mark\" data-line=\"" + std::to_string(mk.line) +
                   "\" stroke=\"#9aa3ad\" stroke-width=\"1\" stroke-dasharray=\"3 3\"");
        if (x - last_label >= 22) {
            w.text(x + 3, b.y + 12, std::to_string(mk.line), "start", 10, "fill=\"#6b7480\"");
            last_label = x;
        }
    }
    // With more than one card, which dash pattern is which card (below, at the right).
    double lx = b.right() - 240, ly = b.bottom() + 38;
    for (size_t i = 0; rec.cards.size() > 1 && i < rec.cards.size() && i < 4; i++) {
        const CardTrace &t = rec.cards[i];
        const char *dash = kCardDashes[i % 4];
        w.line(lx, ly - 4, lx + 22, ly - 4,
               std::string("stroke=\"#555\" stroke-width=\"1.5\"") +
                   (*dash ? std::string(" stroke-dasharray=\"") + dash + "\"" : ""));
        std::string name = t.card >= 0 ? "card " + std::to_string(t.card)
                                       : "#" + std::to_string(t.index);
        w.text(lx + 26, ly, name, "start", 11, "fill=\"#333\"");
        lx += 34 + 7 * name.size();
    }
    const char *axis_names[] = {"x", "y", "z"};
    for (size_t i = 0; i < rec.cards.size(); i++) {
        const CardTrace &t = rec.cards[i];
        const std::vector<SpeedBin> &bins = t.speed.bins();
        for (int a = 0; a < 3; a++) {
            bool moved = false;
            for (const SpeedBin &bin : bins)
                moved |= bin.seen && (bin.lo[a] != 0 || bin.hi[a] != 0);
            if (!moved)
                continue;
            const char *dash = kCardDashes[i % 4];
            w.s << "<polyline class=\"speed\" data-card=\"" << t.index << "\" data-axis=\""
                << axis_names[a] << "\" fill=\"none\" stroke=\"" << kAxisColours[a]
                << "\" stroke-width=\"1.5\" stroke-linejoin=\"round\""
                << (*dash ? std::string(" stroke-dasharray=\"") + dash + "\"" : "")
                << " points=\"";
            double width_ms = double(t.speed.bin_us()) / 1000.0;
            double origin_ms = double(t.speed.origin_us()) / 1000.0 - rec.start_ms;
            // Per bin, its lowest and highest speed at the bin's middle: the one nearer the
            // point before first, so a ramp stays a ramp.
            double before = 0;
            for (size_t k = 0; k < bins.size(); k++) {
                double lo_v = bins[k].seen ? bins[k].lo[a] : 0;
                double hi_v = bins[k].seen ? bins[k].hi[a] : 0;
                if (std::fabs(hi_v - before) < std::fabs(lo_v - before))
                    std::swap(lo_v, hi_v);
                std::string x = num(m.px(origin_ms + (k + 0.5) * width_ms));
                w.s << (k ? " " : "") << x << "," << num(m.py(lo_v));
                if (hi_v != lo_v)
                    w.s << " " << x << "," << num(m.py(hi_v));
                before = hi_v;
            }
            w.s << "\"/>\n";
        }
    }
}

std::string position_text(const MotionRecord &r)
{
    return "(" + std::to_string(r.x) + ", " + std::to_string(r.y) + ", " + std::to_string(r.z) +
           ")";
}

} // namespace

std::string svg_plot(const Recording &rec)
{
    Writer w;
    bool three = z_moved(rec);
    double y = 96;
    std::vector<std::pair<View, Box>> views;
    if (three) {
        double bw = 250;
        views.push_back({{"xy", "XY (top)", 0, 1}, {80, y, bw, bw}});
        views.push_back({{"xz", "XZ (front)", 0, 2}, {80 + bw + 80, y, bw, bw}});
        views.push_back({{"yz", "YZ (side)", 1, 2}, {80 + 2 * (bw + 80), y, bw, bw}});
        y += bw;
    } else {
        // Height from the path's shape, within limits.
        double u0 = 0, u1 = 0, v0 = 0, v1 = 0;
        bool any = false;
        for (const CardTrace &t : rec.cards)
            for (const MotionRecord &r : t.path) {
                if (!any) {
                    u0 = u1 = r.x;
                    v0 = v1 = r.y;
                    any = true;
                }
                u0 = std::min<double>(u0, r.x);
                u1 = std::max<double>(u1, r.x);
                v0 = std::min<double>(v0, r.y);
                v1 = std::max<double>(v1, r.y);
            }
        double bw = 880;
        double h = (u1 > u0) ? bw * (v1 - v0) / (u1 - u0) : bw;
        h = std::clamp(h, 300.0, 600.0);
        views.push_back({{"xy", "XY (top)", 0, 1}, {80, y, bw, h}});
        y += h;
    }
    Box profile{80, y + 90, 880, 220};
    double height = profile.bottom() + 20 + 64; // its title's room above, axis label below

    w.s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(kWidth) << "\" height=\""
        << num(height) << "\" viewBox=\"0 0 " << num(kWidth) << " " << num(height)
        << "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#f7f8fa\"/>\n";

    w.text(40, 36, "korva3: " + rec.job, "start", 20, "font-weight=\"bold\" fill=\"#111\"");
    uint64_t slices = 0;
    for (const CardTrace &t : rec.cards)
        slices += t.slices;
    std::string facts = "on the " + rec.machine + ", " + std::to_string(rec.end_ms - rec.start_ms) +
                        " ms, " + std::to_string(slices) + " slices";
    for (const CardTrace &t : rec.cards)
        if (!t.path.empty())
            facts += "; " + (t.card >= 0 ? "card " + std::to_string(t.card) : "virtual card #" +
                                 std::to_string(t.index)) +
                     " ends at " + position_text(t.path.back());
    w.text(40, 58, facts, "start", 13, "fill=\"#444\"");
    // Legend.
    double lx = 40;
    for (size_t i = 0; i < rec.cards.size(); i++) {
        const CardTrace &t = rec.cards[i];
        if (t.path.empty())
            continue;
        w.line(lx, 74, lx + 22, 74, std::string("stroke=\"") + colour(i) + "\" stroke-width=\"2\"");
        std::string name = t.card >= 0 ? "card " + std::to_string(t.card) : "virtual card #" +
                                                                               std::to_string(t.index);
        w.text(lx + 28, 78, name, "start", 12, "fill=\"#333\"");
        lx += 40 + 8 * name.size();
    }
    w.s << "<circle cx=\"" << num(lx + 5) << "\" cy=\"74\" r=\"5\" fill=\"#2a9d4b\"/>\n";
    w.text(lx + 14, 78, "start", "start", 12, "fill=\"#333\"");
    w.s << "<circle cx=\"" << num(lx + 60) << "\" cy=\"74\" r=\"4\" fill=\"#c0392b\"/>\n";
    w.text(lx + 69, 78, "end", "start", 12, "fill=\"#333\"");

    // Points per path drawn: about 30000 in all, so any plot stays well under a megabyte.
    size_t paths = 0;
    for (const CardTrace &t : rec.cards)
        paths += t.path.empty() ? 0 : 1;
    size_t max_points = 30000 / std::max<size_t>(1, paths * views.size());
    for (const auto &[view, box] : views)
        path_view(w, rec, view, {box.x, box.y + 20, box.w, box.h}, max_points);
    speed_profile(w, rec, {profile.x, profile.y + 20, profile.w, profile.h});
    w.s << "</svg>\n";
    return w.s.str();
}

} // namespace korva3_tool
