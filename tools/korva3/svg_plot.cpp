// svg_plot.cpp - writes the picture of a run as SVG.
#include "svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <utility>
#include <vector>

namespace korva3_tool {

namespace {

const char *const kColours[] = {"#1f5fbf", "#d0542c", "#2a9d4b", "#8e44ad", "#b8860b"};
constexpr double kWidth = 1000;

const char *colour(size_t i) { return kColours[i % (sizeof kColours / sizeof *kColours)]; }

// A number for an attribute: at most two decimals, no trailing zeros.
std::string num(double v)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    return s == "-0" ? "0" : s;
}

// A scale factor: enough digits for pulse coordinates in the millions.
std::string exact(double v)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

std::string escape(const std::string &text)
{
    std::string s;
    for (char c : text) {
        switch (c) {
        case '&': s += "&amp;"; break;
        case '<': s += "&lt;"; break;
        case '>': s += "&gt;"; break;
        case '"': s += "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                s += c;
        }
    }
    return s;
}

// A tick label: thousands as "12k" where that is exact, otherwise the number.
std::string tick_label(double v)
{
    if (std::fabs(v) < 1e-9)
        return "0";
    return num(v);
}

struct Box {
    double x, y, w, h;
    double right() const { return x + w; }
    double bottom() const { return y + h; }
};

// Data to page: page x = tx + sx * u, page y = ty - sy * v.
struct Map {
    double sx, sy, tx, ty;
    double px(double u) const { return tx + sx * u; }
    double py(double v) const { return ty - sy * v; }
};

// A step of 1, 2 or 5 times a power of ten giving about `target` ticks over `range`.
double nice_step(double range, int target)
{
    double raw = range / target;
    if (!(raw > 0))
        return 1;
    double p = std::pow(10.0, std::floor(std::log10(raw)));
    double m = raw / p;
    return (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * p;
}

class Writer {
public:
    std::ostringstream s;

    void text(double x, double y, const std::string &t, const char *anchor = "start",
              double size = 12, const std::string &extra = "")
    {
        s << "<text x=\"" << num(x) << "\" y=\"" << num(y) << "\" font-size=\"" << num(size)
          << "\" text-anchor=\"" << anchor << "\"" << (extra.empty() ? "" : " " + extra) << ">"
          << escape(t) << "</text>\n";
    }

    void line(double x1, double y1, double x2, double y2, const std::string &style)
    {
        s << "<line x1=\"" << num(x1) << "\" y1=\"" << num(y1) << "\" x2=\"" << num(x2)
          << "\" y2=\"" << num(y2) << "\" " << style << "/>\n";
    }

    // Frame, grid, ticks and labels of a panel showing data u0..u1 by v0..v1.
    void axes(const Box &b, const Map &m, double u0, double u1, double v0, double v1,
              const std::string &ulabel, const std::string &vlabel, int uticks, int vticks)
    {
        s << "<rect x=\"" << num(b.x) << "\" y=\"" << num(b.y) << "\" width=\"" << num(b.w)
          << "\" height=\"" << num(b.h) << "\" fill=\"#ffffff\" stroke=\"none\"/>\n";
        double du = nice_step(u1 - u0, uticks);
        for (double u = std::ceil(u0 / du) * du; u <= u1 + du * 1e-9; u += du) {
            double x = m.px(u);
            line(x, b.y, x, b.bottom(), "stroke=\"#e3e6ea\" stroke-width=\"1\"");
            line(x, b.bottom(), x, b.bottom() + 5, "stroke=\"#555\" stroke-width=\"1\"");
            text(x, b.bottom() + 18, tick_label(u), "middle", 11, "fill=\"#444\"");
        }
        double dv = nice_step(v1 - v0, vticks);
        for (double v = std::ceil(v0 / dv) * dv; v <= v1 + dv * 1e-9; v += dv) {
            double y = m.py(v);
            line(b.x, y, b.right(), y, "stroke=\"#e3e6ea\" stroke-width=\"1\"");
            line(b.x - 5, y, b.x, y, "stroke=\"#555\" stroke-width=\"1\"");
            text(b.x - 8, y + 4, tick_label(v), "end", 11, "fill=\"#444\"");
        }
        s << "<rect x=\"" << num(b.x) << "\" y=\"" << num(b.y) << "\" width=\"" << num(b.w)
          << "\" height=\"" << num(b.h) << "\" fill=\"none\" stroke=\"#555\" "
          << "stroke-width=\"1\"/>\n";
        text(b.x + b.w / 2, b.bottom() + 38, ulabel, "middle", 12, "fill=\"#222\"");
        double lx = b.x - 58, ly = b.y + b.h / 2;
        text(lx, ly, vlabel, "middle", 12,
             "fill=\"#222\" transform=\"rotate(-90 " + num(lx) + " " + num(ly) + ")\"");
    }
};

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

// One path view: each card's path in pulse units, equal scale on both axes.
void path_view(Writer &w, const Recording &rec, const View &view, const Box &b)
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
        w.s << "<polyline class=\"path\" data-view=\"" << view.id << "\" data-card=\"" << t.index
            << "\" fill=\"none\" stroke=\"" << colour(i)
            << "\" stroke-width=\"1.8\" stroke-linejoin=\"round\" "
               "vector-effect=\"non-scaling-stroke\" transform=\"matrix("
            << exact(s) << " 0 0 " << exact(-s) << " " << exact(m.tx) << " " << exact(m.ty)
            << ")\" points=\"";
        // Pulse units, exact. A point that lies on the straight line from the last point
        // kept on to the next one (same direction) adds nothing and is left out.
        std::vector<std::pair<int64_t, int64_t>> pts;
        for (const MotionRecord &r : t.path)
            pts.push_back({coord(r, view.u), coord(r, view.v)});
        size_t kept = 0;
        w.s << pts[0].first << "," << pts[0].second;
        for (size_t k = 1; k < pts.size(); k++) {
            if (k + 1 < pts.size()) {
                int64_t ax = pts[k].first - pts[kept].first, ay = pts[k].second - pts[kept].second;
                int64_t bx = pts[k + 1].first - pts[k].first, by = pts[k + 1].second - pts[k].second;
                if (ax * by - ay * bx == 0 && ax * bx + ay * by >= 0)
                    continue;
            }
            w.s << " " << pts[k].first << "," << pts[k].second;
            kept = k;
        }
        w.s << "\"/>\n";
        const MotionRecord &a = t.path.front(), &z = t.path.back();
        w.s << "<circle cx=\"" << num(m.px(coord(a, view.u))) << "\" cy=\""
            << num(m.py(coord(a, view.v))) << "\" r=\"5\" fill=\"#2a9d4b\" stroke=\"#fff\" "
            << "stroke-width=\"1.5\"/>\n"
            << "<circle cx=\"" << num(m.px(coord(z, view.u))) << "\" cy=\""
            << num(m.py(coord(z, view.v))) << "\" r=\"4\" fill=\"#c0392b\" stroke=\"#fff\" "
            << "stroke-width=\"1.5\"/>\n";
    }
    w.s << "</g>\n";
}

double step_length(const Slice &s)
{
    return std::sqrt(double(s.x) * s.x + double(s.y) * s.y + double(s.z) * s.z);
}

// The speed profile: step length of each slice against its number.
void speed_profile(Writer &w, const Recording &rec, const Box &b)
{
    size_t n = 0;
    double top = 0;
    for (const CardTrace &t : rec.cards) {
        n = std::max(n, t.slices.size());
        for (const Slice &s : t.slices)
            top = std::max(top, step_length(s));
    }
    w.text(b.x, b.y - 10, "Speed profile", "start", 14, "font-weight=\"bold\" fill=\"#222\"");
    w.text(b.x + 120, b.y - 10,
           "step length of each interpolation slice; dashed: where a job line's slices begin "
           "(its line number)",
           "start", 12, "fill=\"#555\"");
    double u1 = std::max<double>(n, 1), v1 = std::max(top * 1.1, 1.0);
    Map m{b.w / u1, b.h / v1, b.x, b.bottom()};
    w.axes(b, m, 0, u1, 0, v1, "slice number", "pulses per slice", 10, 5);
    if (n == 0) {
        w.text(b.x + b.w / 2, b.y + b.h / 2, "no interpolation slices", "middle", 13,
               "fill=\"#888\"");
        return;
    }
    // Where each job line's slices begin (first card with slices).
    for (const CardTrace &t : rec.cards) {
        if (t.slices.empty())
            continue;
        double last_label = -1e9;
        for (const LineMark &mk : t.marks) {
            double x = m.px(static_cast<double>(mk.slice));
            w.line(x, b.y, x, b.bottom(),
                   "stroke=\"#9aa3ad\" stroke-width=\"1\" stroke-dasharray=\"3 3\"");
            if (x - last_label >= 22) {
                w.text(x + 3, b.y + 12, std::to_string(mk.line), "start", 10,
                       "fill=\"#6b7480\"");
                last_label = x;
            }
        }
        break;
    }
    for (size_t i = 0; i < rec.cards.size(); i++) {
        const std::vector<Slice> &sl = rec.cards[i].slices;
        if (sl.empty())
            continue;
        w.s << "<polyline class=\"speed\" data-card=\"" << rec.cards[i].index
            << "\" fill=\"none\" stroke=\"" << colour(i)
            << "\" stroke-width=\"1.5\" stroke-linejoin=\"round\" points=\"";
        // At most two points (low, high) per page column, so long jobs stay small.
        size_t per = std::max<size_t>(1, static_cast<size_t>(sl.size() / (b.w * 2)));
        bool first = true;
        for (size_t k = 0; k < sl.size(); k += per) {
            size_t end = std::min(sl.size(), k + per);
            double lo = step_length(sl[k]), hi = lo;
            size_t klo = k, khi = k;
            for (size_t j = k; j < end; j++) {
                double l = step_length(sl[j]);
                if (l < lo) { lo = l; klo = j; }
                if (l > hi) { hi = l; khi = j; }
            }
            size_t a = std::min(klo, khi), c = std::max(klo, khi);
            for (size_t j = a;; j = c) {
                w.s << (first ? "" : " ") << num(m.px(j + 0.5)) << ","
                    << num(m.py(step_length(sl[j])));
                first = false;
                if (j == c)
                    break;
            }
        }
        w.s << "\"/>\n";
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
    size_t slices = 0;
    for (const CardTrace &t : rec.cards)
        slices += t.slices.size();
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

    for (const auto &[view, box] : views)
        path_view(w, rec, view, {box.x, box.y + 20, box.w, box.h});
    speed_profile(w, rec, {profile.x, profile.y + 20, profile.w, profile.h});
    w.s << "</svg>\n";
    return w.s.str();
}

} // namespace korva3_tool
