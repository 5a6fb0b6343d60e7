// gcode_plot.cpp - the layout of a G-code run's picture: path views in mm, path speed.
#include "plot/gcode_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "plot/svg.h"

namespace korva3_tool {

namespace {

using namespace svg;
using Point = GcodeTrack::Point;

constexpr double kWidth = 1000;
const char *const kCut = "#1f5fbf";
const char *const kRapid = "#d0542c";
const char *const kFeed = "#2a9d4b";

struct View {
    const char *id;    // "xy"
    const char *title; // "XY (top)"
    int u, v;          // axes shown
    bool equal;        // equal scale on both axes (else each scaled to its data)
};

void extent(const GcodeTrack &t, int a, double &lo, double &hi)
{
    lo = hi = 0;
    for (const GcodeTrack::Piece &p : t.pieces())
        for (const Point &q : p.points) {
            lo = std::min<double>(lo, q[a]);
            hi = std::max<double>(hi, q[a]);
        }
}

void path_view(Writer &w, const GcodeTrack &t, const View &view, const Box &b)
{
    double u0, u1, v0, v1;
    extent(t, view.u, u0, u1);
    extent(t, view.v, v0, v1);
    double su, sv;
    if (view.equal) {
        double span = std::max({u1 - u0, v1 - v0, 1.0});
        double s = std::min(b.w / std::max(u1 - u0, 0.01 * span), b.h / std::max(v1 - v0, 0.01 * span));
        su = sv = s / 1.12;
    } else {
        su = b.w / std::max(u1 - u0, 1e-3) / 1.12;
        sv = b.h / std::max(v1 - v0, 1e-3) / 1.12;
    }
    double cu = (u0 + u1) / 2, cv = (v0 + v1) / 2;
    Map m{su, sv, b.x + b.w / 2 - su * cu, b.y + b.h / 2 + sv * cv};
    const char *names = "XYZ";
    w.text(b.x, b.y - 10, view.title, "start", 14, "font-weight=\"bold\" fill=\"#222\"");
    int ticks = b.w > 500 ? 10 : 5;
    w.axes(b, m, cu - b.w / (2 * su), cu + b.w / (2 * su), cv - b.h / (2 * sv),
           cv + b.h / (2 * sv), std::string(1, names[view.u]) + " (mm)",
           std::string(1, names[view.v]) + " (mm)", ticks,
           std::max(3, static_cast<int>(ticks * b.h / b.w)));
    w.s << "<clipPath id=\"clip-" << view.id << "\"><rect x=\"" << num(b.x) << "\" y=\""
        << num(b.y) << "\" width=\"" << num(b.w) << "\" height=\"" << num(b.h)
        << "\"/></clipPath>\n<g clip-path=\"url(#clip-" << view.id << ")\">\n";
    for (const GcodeTrack::Piece &p : t.pieces()) {
        w.s << "<polyline class=\"" << (p.rapid ? "rapid" : "cut") << "\" data-view=\""
            << view.id << "\" fill=\"none\" stroke=\"" << (p.rapid ? kRapid : kCut)
            << (p.rapid ? "\" stroke-width=\"1.3\" stroke-dasharray=\"6 4\""
                        : "\" stroke-width=\"1.6\"")
            << " stroke-linejoin=\"round\" points=\"";
        double lx = 0, ly = 0;
        for (size_t i = 0; i < p.points.size(); i++) {
            double x = m.px(p.points[i][view.u]), y = m.py(p.points[i][view.v]);
            bool last = i + 1 == p.points.size();
            if (i && !last && (x - lx) * (x - lx) + (y - ly) * (y - ly) < 0.25)
                continue; // half a pixel from the last point drawn
            w.s << (i ? " " : "") << num(x) << "," << num(y);
            lx = x;
            ly = y;
        }
        w.s << "\"/>\n";
    }
    if (!t.pieces().empty()) {
        const Point &a = t.pieces().front().points.front(), &z = t.pieces().back().points.back();
        w.s << "<circle cx=\"" << num(m.px(a[view.u])) << "\" cy=\"" << num(m.py(a[view.v]))
            << "\" r=\"5\" fill=\"#2a9d4b\" stroke=\"#fff\" stroke-width=\"1.5\"/>\n"
            << "<circle cx=\"" << num(m.px(z[view.u])) << "\" cy=\"" << num(m.py(z[view.v]))
            << "\" r=\"4\" fill=\"#c0392b\" stroke=\"#fff\" stroke-width=\"1.5\"/>\n";
    }
    w.s << "</g>\n";
}

// Path speed (the mean of each time bin; 0 where the card stood) and
// the programmed feed where the card moved.
void speed_panel(Writer &w, const Recording &rec, const GcodeTrack &t, const Box &b)
{
    double t1 = std::max(1.0, double(rec.end_ms) - double(rec.start_ms)) / 1000;
    double hi = 1;
    for (const GcodeTrack::Bin &bin : t.bins())
        hi = std::max<double>({hi, bin.speed(), bin.feed});
    hi *= 1.08;
    w.text(b.x, b.y - 10, "Path speed", "start", 14, "font-weight=\"bold\" fill=\"#222\"");
    w.line(b.right() - 260, b.y - 14, b.right() - 240, b.y - 14,
           std::string("stroke=\"") + kCut + "\" stroke-width=\"2\"");
    w.text(b.right() - 235, b.y - 10, "executed", "start", 12, "fill=\"#333\"");
    w.line(b.right() - 160, b.y - 14, b.right() - 140, b.y - 14,
           std::string("stroke=\"") + kFeed + "\" stroke-width=\"2\" stroke-dasharray=\"4 2\"");
    w.text(b.right() - 135, b.y - 10, "programmed feed", "start", 12, "fill=\"#333\"");
    Map m{b.w / t1, b.h / hi, b.x, b.bottom()};
    w.axes(b, m, 0, t1, 0, hi, "time (s)", "mm/min", 10, 5);
    double width_s = double(t.bin_us()) / 1e6;
    double origin_s = double(t.origin_us()) / 1e6 - rec.start_ms / 1000.0;
    const std::vector<GcodeTrack::Bin> &bins = t.bins();
    w.s << "<polyline class=\"path-speed\" fill=\"none\" stroke=\"" << kCut
        << "\" stroke-width=\"1.4\" stroke-linejoin=\"round\" points=\"";
    for (size_t k = 0; k < bins.size(); k++)
        w.s << (k ? " " : "") << num(m.px(origin_s + (k + 0.5) * width_s)) << ","
            << num(m.py(bins[k].speed()));
    w.s << "\"/>\n";
    // The feed as steps, broken where the card stood.
    std::string points;
    auto flush = [&]() {
        if (!points.empty())
            w.s << "<polyline class=\"feed\" fill=\"none\" stroke=\"" << kFeed
                << "\" stroke-width=\"1.6\" stroke-dasharray=\"4 2\" points=\"" << points
                << "\"/>\n";
        points.clear();
    };
    for (size_t k = 0; k < bins.size(); k++) {
        if (!bins[k].seen) {
            flush();
            continue;
        }
        double y = m.py(bins[k].feed);
        points += (points.empty() ? "" : " ") + num(m.px(origin_s + k * width_s)) + "," + num(y) +
                  " " + num(m.px(origin_s + (k + 1) * width_s)) + "," + num(y);
    }
    flush();
}

} // namespace

std::string gcode_plot(const Recording &rec)
{
    const GcodeTrack &t = *rec.gcode;
    Writer w;
    double x0, x1, y0, y1, z0, z1;
    extent(t, 0, x0, x1);
    extent(t, 1, y0, y1);
    extent(t, 2, z0, z1);
    double y = 96;
    std::vector<std::pair<View, Box>> views;
    double h = x1 > x0 ? 880 * (y1 - y0) / (x1 - x0) : 880;
    h = std::clamp(h, 300.0, 560.0);
    views.push_back({{"xy", "XY (top)", 0, 1, true}, {80, y, 880, h}});
    y += h;
    if (z1 > z0) {
        y += 90;
        views.push_back({{"xz", "XZ (front, each axis to its data)", 0, 2, false}, {80, y, 380, 200}});
        views.push_back({{"yz", "YZ (side, each axis to its data)", 1, 2, false}, {580, y, 380, 200}});
        y += 200;
    }
    Box speed{80, y + 90, 880, 240};
    double height = speed.bottom() + 20 + 64;
    w.s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(kWidth) << "\" height=\""
        << num(height) << "\" viewBox=\"0 0 " << num(kWidth) << " " << num(height)
        << "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#f7f8fa\"/>\n";
    w.text(40, 36, "korva3 gcode: " + rec.job, "start", 20, "font-weight=\"bold\" fill=\"#111\"");
    char facts[160];
    const Point end = t.pieces().empty() ? Point{} : t.pieces().back().points.back();
    std::snprintf(facts, sizeof facts, "on the %s, %.1f s; ends at (%.3f, %.3f, %.3f) mm",
                  rec.machine.c_str(), (rec.end_ms - rec.start_ms) / 1000.0, end[0], end[1],
                  end[2]);
    w.text(40, 58, facts, "start", 13, "fill=\"#444\"");
    w.line(40, 74, 62, 74, std::string("stroke=\"") + kCut + "\" stroke-width=\"2\"");
    w.text(68, 78, "cut", "start", 12, "fill=\"#333\"");
    w.line(110, 74, 132, 74,
           std::string("stroke=\"") + kRapid + "\" stroke-width=\"2\" stroke-dasharray=\"6 4\"");
    w.text(138, 78, "rapid (G0)", "start", 12, "fill=\"#333\"");
    w.s << "<circle cx=\"225\" cy=\"74\" r=\"5\" fill=\"#2a9d4b\"/>\n";
    w.text(234, 78, "start", "start", 12, "fill=\"#333\"");
    w.s << "<circle cx=\"280\" cy=\"74\" r=\"4\" fill=\"#c0392b\"/>\n";
    w.text(289, 78, "end", "start", 12, "fill=\"#333\"");
    for (const auto &[view, box] : views)
        path_view(w, t, view, {box.x, box.y + 20, box.w, box.h});
    speed_panel(w, rec, t, {speed.x, speed.y + 20, speed.w, speed.h});
    w.s << "</svg>\n";
    return w.s.str();
}

} // namespace korva3_tool
