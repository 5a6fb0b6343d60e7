// speed_programs.cpp - the programs of speed_programs.h.
#include "speed_programs.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace speed_programs {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Writer {
    std::string text;
    double x = 0, y = 0, z = 0;
    static std::string num(double v)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.4f", v);
        return buf;
    }
    void to(double nx, double ny)
    {
        text += "G1 X" + num(x = nx) + " Y" + num(y = ny) + "\n";
    }
    void to3(double nx, double ny, double nz)
    {
        text += "G1 X" + num(x = nx) + " Y" + num(y = ny) + " Z" + num(z = nz) + "\n";
    }
    void rapid(double nx, double ny) { text += "G0 X" + num(x = nx) + " Y" + num(y = ny) + "\n"; }
    // An arc leaving along `dir` (radians), radius r, `sweep` radians (+ counter-clockwise).
    double arc(double dir, double r, double sweep)
    {
        double side = sweep > 0 ? 1 : -1;
        double cx = x - side * r * std::sin(dir), cy = y + side * r * std::cos(dir);
        double a0 = std::atan2(y - cy, x - cx), a1 = a0 + sweep;
        double nx = cx + r * std::cos(a1), ny = cy + r * std::sin(a1);
        char buf[128];
        std::snprintf(buf, sizeof buf, "%s X%.4f Y%.4f I%.4f J%.4f\n", sweep > 0 ? "G3" : "G2", nx,
                      ny, cx - x, cy - y);
        text += buf;
        x = nx;
        y = ny;
        return dir + sweep;
    }
};

std::string header(double feed, double tol)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "G21 G90 G17 G64 P%.4f\nG0 Z1\nF%.0f\n", tol, feed);
    return buf;
}

struct Random {
    uint32_t state;
    double next() // 0..1
    {
        state = state * 1103515245u + 12345u;
        return double(state >> 8) / double(1u << 24);
    }
};

// 151 strokes of 4 arcs each (radius 0.5..3 mm, 30..120 degrees), joined at kinks of
// 0..60 degrees and now and then tangent, each stroke a plunge and a lift.
std::string engraving(double feed, double tol)
{
    Writer w;
    w.text = header(feed, tol);
    Random rnd{7};
    for (int s = 0; s < 151; s++) {
        double sx = (s % 16) * 12.0, sy = (s / 16) * 12.0;
        w.rapid(sx, sy);
        w.text += "G1 Z-0.2\n";
        double dir = rnd.next() * 2 * kPi;
        for (int a = 0; a < 4; a++) {
            double r = 0.5 + 2.5 * rnd.next(), sweep = (kPi / 6 + kPi / 2 * rnd.next());
            if (rnd.next() < 0.5)
                sweep = -sweep;
            dir = w.arc(dir, r, sweep);
            double kink = rnd.next() < 0.25 ? 0 : (rnd.next() - 0.5) * 2 * kPi / 3;
            dir += kink;
        }
        w.text += "G0 Z1\n";
    }
    return w.text + "M2\n";
}

// A relief in rows along X of 0.25 mm lines (z a smooth bump), 12 rows of 163 and the
// step-overs between them: 1,967 lines.
std::string relief(double feed, double tol)
{
    Writer w;
    w.text = header(feed, tol);
    auto height = [](double x, double y) {
        return -1 - 0.8 * std::sin(x / 6) * std::cos(y / 4) - 0.3 * std::sin(x / 1.7 + y / 2.3);
    };
    w.text += "G0 X0 Y0\n";
    w.to3(0, 0, height(0, 0));
    for (int row = 0; row < 12; row++) {
        double y = row * 0.5;
        if (row > 0)
            w.to3(w.x, y, height(w.x, y));
        for (int i = 1; i <= 163; i++) {
            double x = row % 2 ? (163 - i) * 0.25 : i * 0.25;
            w.to3(x, y, height(x, y));
        }
    }
    return w.text + "G0 Z1\nM2\n";
}

// 6,000 lines of 0.05 mm along X, on a sine of 5 mm amplitude and 30 mm wavelength.
std::string sine(double feed, double tol)
{
    Writer w;
    w.text = header(feed, tol) + "G1 Z-0.1\n";
    for (int i = 1; i <= 6000; i++) {
        double x = i * 0.05;
        w.to(x, 5 * std::sin(2 * kPi * x / 30));
    }
    return w.text + "G0 Z1\nM2\n";
}

// 48 junctions of a line and an arc (radius 4 mm): the arc leaves at 90 degrees to the
// line, or at 45, and the next line leaves the arc's end at the same angles.
std::string line_arc(double feed, double tol)
{
    Writer w;
    w.text = header(feed, tol) + "G1 Z-0.1\n";
    double dir = 0;
    for (int j = 0; j < 24; j++) {
        double kink = j % 2 ? kPi / 4 : kPi / 2;
        w.to(w.x + 8 * std::cos(dir), w.y + 8 * std::sin(dir));
        dir += kink;                      // the arc leaves at the kink
        dir = w.arc(dir, 4, -kPi / 2);    // a quarter clockwise
        dir += kink;                      // the line leaves at the kink
        dir = std::remainder(dir, 2 * kPi);
    }
    w.to(w.x + 8 * std::cos(dir), w.y + 8 * std::sin(dir));
    return w.text + "G0 Z1\nM2\n";
}

// 10 nested squares of 10..100 mm, each from its corner.
std::string squares(double feed, double tol)
{
    Writer w;
    w.text = header(feed, tol);
    for (int i = 1; i <= 10; i++) {
        double h = 5.0 * i;
        w.rapid(-h, -h);
        w.text += "G1 Z-0.1\n";
        w.to(h, -h);
        w.to(h, h);
        w.to(-h, h);
        w.to(-h, -h);
        w.text += "G0 Z1\n";
    }
    return w.text + "M2\n";
}

// A raster over 60 x 40 mm: rows along X, 1 mm apart.
std::string raster(double feed, double tol)
{
    Writer w;
    w.text = header(feed, tol) + "G1 Z-0.1\n";
    for (int row = 0; row <= 40; row++) {
        if (row > 0)
            w.to(w.x, row);
        w.to(row % 2 ? 0 : 60, row);
    }
    return w.text + "G0 Z1\nM2\n";
}

} // namespace

std::vector<Program> all(double feed, double tol)
{
    return {{"engraving 604 arcs", engraving(feed, tol)},
            {"relief 1967 lines", relief(feed, tol)},
            {"sine 6000 x 0.05 mm", sine(feed, tol)},
            {"48 line-arc junctions", line_arc(feed, tol)},
            {"10 squares", squares(feed, tol)},
            {"raster 41 rows", raster(feed, tol)}};
}

} // namespace speed_programs
