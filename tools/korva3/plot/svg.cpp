// svg.cpp - SVG primitives: numbers, text, lines and axes.
#include "plot/svg.h"

#include <cmath>
#include <cstdio>

namespace korva3_tool::svg {

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

std::string tick_label(double v)
{
    if (std::fabs(v) < 1e-9)
        return "0";
    return num(v);
}

double nice_step(double range, int target)
{
    double raw = range / target;
    if (!(raw > 0))
        return 1;
    double p = std::pow(10.0, std::floor(std::log10(raw)));
    double m = raw / p;
    return (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * p;
}

void Writer::text(double x, double y, const std::string &t, const char *anchor, double size,
                  const std::string &extra)
{
    s << "<text x=\"" << num(x) << "\" y=\"" << num(y) << "\" font-size=\"" << num(size)
      << "\" text-anchor=\"" << anchor << "\"" << (extra.empty() ? "" : " " + extra) << ">"
      << escape(t) << "</text>\n";
}

void Writer::line(double x1, double y1, double x2, double y2, const std::string &style)
{
    s << "<line x1=\"" << num(x1) << "\" y1=\"" << num(y1) << "\" x2=\"" << num(x2)
      << "\" y2=\"" << num(y2) << "\" " << style << "/>\n";
}

void Writer::axes(const Box &b, const Map &m, double u0, double u1, double v0, double v1,
                  const std::string &ulabel, const std::string &vlabel, int uticks,
                  int vticks)
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

} // namespace korva3_tool::svg
