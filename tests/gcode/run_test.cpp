// run_test.cpp - G-code programs run on the virtual card: exact end points, the executed
// path against the program's own lines and arcs, CAM-sized programs, the estimate, the
// feed override, outputs and dwells.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gcode/executor.h"
#include "gcode/program.h"
#include "korva3.h"
#include "korva3_sim.h"

using namespace korva3_gcode;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Executed {
    std::vector<Point> path; // every position the card took, pulses
    Pulses end{};
    uint32_t ms = 0;         // virtual time of the run
    Program program;
};

void take_motion(std::vector<Point> &path)
{
    int32_t rec[4 * 1024];
    uint32_t n;
    while ((n = KSIM_TAKE_MOTION(0, rec, 1024)) > 0)
        for (uint32_t k = 0; k < n; k++)
            path.push_back({double(rec[4 * k + 1]), double(rec[4 * k + 2]), double(rec[4 * k + 3])});
}

// A fresh virtual card (number 0), the program read and run on it to the end.
Executed run(const std::string &text, const Settings &s = Settings{}, Hooks hooks = Hooks{},
             RunEnd expected = RunEnd::Done)
{
    Executed e;
    std::vector<std::string> errors;
    if (!read_program("t.ngc", text, s, e.program, errors)) {
        ADD_FAILURE() << errors.front();
        return e;
    }
    KSIM_RESET();
    KSIM_SET_LOGGING(0);
    KSIM_SET_SLICE_PERIOD_US(-1, s.slice_us);
    KSIM_ADD_CARD(0, 1, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR, KSIM_PCI_SUBSYSTEM,
                  0);
    KORVA3_INITIAL();
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    e.path.push_back({0, 0, 0});
    uint32_t t0 = KSIM_CLOCK_MS();
    auto poll = hooks.poll;
    hooks.poll = [&](const Progress &p) {
        take_motion(e.path);
        return poll ? poll(p) : Control{};
    };
    if (!hooks.sleep)
        hooks.sleep = [](uint32_t ms) { KSIM_ADVANCE_MS(ms); };
    int line = 0;
    EXPECT_EQ(run_program(e.program, s, 0, hooks, line), expected);
    while (KORVA3_MSC(0) & (KORVA3_ST_BUSY | KORVA3_ST_X_MOVING | KORVA3_ST_Y_MOVING |
                            KORVA3_ST_Z_MOVING))
        KSIM_ADVANCE_MS(1);
    take_motion(e.path);
    e.ms = KSIM_CLOCK_MS() - t0;
    e.end = {KSIM_POSITION(0, 1), KSIM_POSITION(0, 2), KSIM_POSITION(0, 3)};
    return e;
}

// The axes of a move's plane (u, v) and the one across it.
void plane_axes(uint32_t plane, int &u, int &v, int &n)
{
    u = plane == 3 ? 1 : 0;
    v = plane == 1 ? 1 : 2;
    n = 3 - u - v;
}

// Within a pulse of the program's path: each axis of the card trails the library's
// ideal point by less than one pulse, and the rounding of the scale moves the ends of
// a line by up to half a pulse on each axis (arcs are fitted to within half a pulse).
const double kWithin = std::sqrt(2.0) * (1 + 0.5) + 0.01;

// Distance of p from the program's geometry of move m, which starts at `from`.
double distance(const Point &p, const Point &from, const Move &m)
{
    auto dist = [](const Point &a, const Point &b) {
        return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                         (a[2] - b[2]) * (a[2] - b[2]));
    };
    if (m.op == Op::Line) {
        double len2 = 0, t = 0;
        for (int a = 0; a < 3; a++) {
            len2 += (m.ideal_to[a] - from[a]) * (m.ideal_to[a] - from[a]);
            t += (p[a] - from[a]) * (m.ideal_to[a] - from[a]);
        }
        t = len2 > 0 ? std::fmin(1, std::fmax(0, t / len2)) : 0;
        Point q;
        for (int a = 0; a < 3; a++)
            q[a] = from[a] + t * (m.ideal_to[a] - from[a]);
        return dist(p, q);
    }
    int u, v, n;
    plane_axes(m.plane, u, v, n);
    const Point &c = m.centre;
    auto angle = [&](const Point &q) { return std::atan2(q[v] - c[v], q[u] - c[u]); };
    auto ahead = [&](double a0, double a1) { // turn from a0 to a1 in the move's direction
        double t = m.direction ? a1 - a0 : a0 - a1;
        return t - 2 * kPi * std::floor(t / (2 * kPi));
    };
    double turn = m.op == Op::Circle ? 2 * kPi : ahead(angle(from), angle(m.ideal_to));
    double radial = std::hypot(p[u] - c[u], p[v] - c[v]) - m.ideal_radius;
    double across = p[n] - c[n];
    if (ahead(angle(from), angle(p)) <= turn + 1e-3 ||
        ahead(angle(from), angle(p)) >= 2 * kPi - 1e-3)
        return std::hypot(radial, across);
    return std::fmin(dist(p, from), dist(p, m.ideal_to)); // off the arc's sweep
}

// The largest distance of an executed point from the program's path. The executed path
// follows the moves in order, so each point is matched against the move it is in or
// the next few.
double worst_distance(const Executed &e)
{
    std::vector<std::pair<Point, const Move *>> geo; // start, move
    Point at{0, 0, 0};
    for (const Move &m : e.program.moves)
        if (m.op == Op::Line || m.op == Op::Arc || m.op == Op::Circle) {
            geo.push_back({at, &m});
            at = m.ideal_to;
        }
    double worst = 0;
    size_t k = 0;
    for (const Point &p : e.path) {
        double best = INFINITY;
        size_t best_k = k;
        for (size_t j = k; j < geo.size() && j < k + 6; j++) {
            double d = distance(p, geo[j].first, *geo[j].second);
            if (d < best - 1e-9) {
                best = d;
                best_k = j;
            }
            if (best <= kWithin)
                break; // the earliest move it fits: paths may cross later ones
        }
        if (geo.empty())
            best = 0;
        k = best_k;
        worst = std::fmax(worst, best);
    }
    return worst;
}

} // namespace

TEST(GcodeRun, ShortProgramsEndExactlyOnTheirTargetAlongTheirPath)
{
    Settings odd; // scales that round nearly every coordinate
    odd.scale = {333.3, 287.9, 101.7};
    Settings plane_scales;
    plane_scales.scale = {250, 250, 250};
    const struct {
        const char *text;
        Settings settings;
        Pulses end;
        Point through; // a point the path must pass within kWithin of (NaN: none)
    } cases[] = {
        {"G1 X10 Y-5 Z2 F600", {}, {10000, -5000, 2000}, {NAN}},
        {"G1 X1.23456 Y-0.000251 F600", {}, {1235, 0, 0}, {NAN}},
        {"G20 G1 X1 Y-2 F20", {}, {25400, -50800, 0}, {NAN}},
        {"G91 G1 X1 F600\nY2\nX-0.5 Z0.25", {}, {500, 2000, 250}, {NAN}},
        {"G0 X10\nG92 X0 Y5\nG0 X5 Y5", {}, {15000, 0, 0}, {NAN}},
        {"G1 X7.77 Y3.33 Z-1.11 F300\nG0 X0 Y0 Z0", odd, {0, 0, 0}, {NAN}},
        {"G1 X7.77 Y3.33 Z-1.11 F300", odd, {2590, 959, -113}, {NAN}},
        // arc directions, read against the axis across each plane
        {"G17 G2 X20 I10 F600", {}, {20000, 0, 0}, {10000, 10000, 0}},
        {"G17 G3 X20 I10 F600", {}, {20000, 0, 0}, {10000, -10000, 0}},
        {"G18 G2 X20 I10 F600", {}, {20000, 0, 0}, {10000, 0, -10000}},
        {"G18 G3 X20 I10 F600", {}, {20000, 0, 0}, {10000, 0, 10000}},
        {"G19 G2 Y20 J10 F600", {}, {0, 20000, 0}, {0, 10000, 10000}},
        {"G19 G3 Y20 J10 F600", {}, {0, 20000, 0}, {0, 10000, -10000}},
        // radius form: the short way and, with R negative, the long way round
        {"G2 X10 Y10 R10 F600", {}, {10000, 10000, 0}, {2929, 7071, 0}},
        {"G2 X10 Y10 R-10 F600", {}, {10000, 10000, 0}, {-10000, 10000, 0}},
        {"G3 X0 Y0 I3.3333 J-1.7777 F600", plane_scales, {0, 0, 0}, {1666.65, -888.85, 0}},
        {"G1 X1.001 F100\nG3 X3 Y2 R2.0005", {}, {3000, 2000, 0}, {NAN}},
    };
    for (const auto &c : cases) {
        Executed e = run(c.text, c.settings);
        EXPECT_EQ(e.end, c.end) << c.text;
        EXPECT_EQ(e.program.end, c.end) << c.text;
        EXPECT_LE(worst_distance(e), kWithin) << c.text;
        if (!std::isnan(c.through[0])) {
            double nearest = INFINITY;
            for (const Point &p : e.path)
                nearest = std::fmin(nearest, std::hypot(std::hypot(p[0] - c.through[0],
                                                                   p[1] - c.through[1]),
                                                        p[2] - c.through[2]));
            EXPECT_LE(nearest, kWithin + 5) << c.text; // slices 10 pulses apart
        }
    }
}

// Every quadrant, both directions, all three planes: quarter arcs that cross the axes,
// three-quarter arcs by a negative R, and full circles, on a radius whose 45-degree
// points round.
TEST(GcodeRun, ArcsInEveryQuadrantDirectionAndPlane)
{
    const char *planes[] = {"G17", "G18", "G19"};
    const char *pairs[][2] = {{"X", "Y"}, {"Z", "X"}, {"Y", "Z"}}; // G-code's (a, b) of each
    const char *offsets[][2] = {{"I", "J"}, {"K", "I"}, {"J", "K"}};
    const double r = 12.345;
    std::string text = "G21 G90 F900\n";
    char buf[200];
    for (int p = 0; p < 3; p++)
        for (int g = 2; g <= 3; g++) {
            double sign = g == 3 ? 1 : -1; // G3 turns from a towards b
            auto at = [&](double deg, char *out, const char *word) {
                double a = r * std::cos(deg * kPi / 180), b = r * std::sin(deg * kPi / 180);
                std::snprintf(out, 100, "%s%s%.4f %s%.4f", word, pairs[p][0], a, pairs[p][1], b);
            };
            text += std::string(planes[p]) + "\n";
            at(45, buf, "G0 ");
            text += std::string(buf) + "\n";
            for (int q = 1; q <= 4; q++) { // quarter arcs through every axis crossing
                double deg = 45 + sign * 90 * q;
                at(deg, buf, "");
                double from = (45 + sign * 90 * (q - 1)) * kPi / 180;
                char arc[200];
                std::snprintf(arc, sizeof arc, "G%d %s %s%.4f %s%.4f\n", g, buf, offsets[p][0],
                              -r * std::cos(from), offsets[p][1], -r * std::sin(from));
                text += arc;
            }
            at(45 + sign * 270, buf, "");
            std::snprintf(buf + std::strlen(buf), 100, " R-%.4f\n", r);
            text += "G" + std::to_string(g) + " " + buf;
            double from = (45 + sign * 270) * kPi / 180;
            std::snprintf(buf, sizeof buf, "G%d %s%.4f %s%.4f\n", g, offsets[p][0],
                          -r * std::cos(from), offsets[p][1], -r * std::sin(from));
            text += buf;
        }
    text += "G0 X0 Y0 Z0\n";
    Executed e = run(text);
    EXPECT_EQ(e.end, (Pulses{0, 0, 0}));
    EXPECT_LE(worst_distance(e), kWithin);
    size_t arcs = 0, circles = 0;
    for (const Move &m : e.program.moves)
        (m.op == Op::Arc ? arcs : circles) += m.op == Op::Arc || m.op == Op::Circle;
    EXPECT_EQ(circles, 6u);
    EXPECT_GE(arcs, 30u);
    // Both directions in every plane's quadrants: the path reached every axis crossing.
    for (int axis = 0; axis < 3; axis++)
        for (double end : {-r * 1000, r * 1000}) {
            double nearest = INFINITY;
            for (const Point &p : e.path)
                nearest = std::fmin(nearest, std::fabs(p[axis] - end));
            EXPECT_LE(nearest, 1.0) << "XYZ"[axis] << " " << end;
        }
}

// A program as CAM software writes it: header, comments, line numbers, modal G1, and
// thousands of short segments that each round, ending exactly where the last rounds.
TEST(GcodeRun, CamProgramOfThousandsOfShortSegmentsDoesNotDrift)
{
    std::string text = "%\n(O1001 spiral - generated)\n(T1 D=2 flat)\nN5 G90 G94 G17 G21 G40 "
                       "G49 G80 G54\nN10 M3 S8000\nN15 M8\nN20 G0 X0 Y0\nN25 G1 Z-0.5 F200\n"
                       "N30 G1 X0.0 Y0.0 F1500\n";
    char buf[100];
    int n = 35;
    for (int i = 1; i <= 3000; i++) {
        double a = i * 0.01, rad = 0.01 * i / 3.0;
        std::snprintf(buf, sizeof buf, "N%d X%.4f Y%.4f\n", n += 5, rad * std::cos(a),
                      rad * std::sin(a));
        text += buf;
    }
    text += "N90000 G0 Z5\nM9\nM5\nM30\n%\n";
    Settings s;
    s.scale = {157.48, 157.48, 400}; // 4 mm pitch, 630 pulses a turn
    Executed e = run(text, s);
    double a = 30, rad = 10;
    Pulses want{std::llround(std::round(rad * std::cos(a) * 1e4) / 1e4 * 157.48),
                std::llround(std::round(rad * std::sin(a) * 1e4) / 1e4 * 157.48), 2000};
    EXPECT_EQ(e.end, want);
    EXPECT_LE(worst_distance(e), kWithin);
    EXPECT_EQ(KSIM_OUTPUTS(0) & 0x7F, 0u); // spindle and coolant off at the end
    // The estimate of --check counts the card's slices; the run takes a little longer
    // (moves of one slice each keep the host busy for about as long as the card).
    EXPECT_EQ(static_cast<uint64_t>(KSIM_CARD_VALUE(0, "intp_frames", 0)), e.program.slices);
    double estimate = estimated_ms(e.program, s);
    EXPECT_GE(e.ms, estimate);
    EXPECT_LE(e.ms, 1.1 * estimate);
}

TEST(GcodeRun, FeedOverrideOutputsDwellAndPause)
{
    // Half the speed from the first poll on: the slices already queued run at full speed.
    const char *text = "G1 X500 F6000\n";
    Executed plain = run(text);
    Hooks hooks;
    hooks.poll = [&](const Progress &) {
        Control c;
        c.override = 50;
        return c;
    };
    Executed slow = run(text, Settings{}, hooks);
    EXPECT_EQ(slow.end, plain.end);
    EXPECT_GT(slow.ms, plain.ms * 1.8); // 100 pulses per slice, then 50

    uint32_t at_dwell = 0, dwell_ms = 0;
    hooks = Hooks{};
    hooks.sleep = [&](uint32_t ms) {
        at_dwell = KSIM_OUTPUTS(0) & 0x7F;
        dwell_ms = ms;
        KSIM_ADVANCE_MS(ms);
    };
    Settings s;
    s.outputs = {4, 5, 6};
    Executed e = run("M3\nM7 M8\nG0 X1\nG4 P2.5\nM9\nM5\n", s, hooks);
    EXPECT_EQ(at_dwell, 0x70u);
    EXPECT_EQ(dwell_ms, 2500u);
    EXPECT_EQ(KSIM_OUTPUTS(0) & 0x7F, 0u);
    EXPECT_GE(e.ms, 2500u);

    // M0: the card idle at the pause; an answer of false ends the run there.
    hooks = Hooks{};
    Pulses at_pause{};
    hooks.pause = [&](int) {
        at_pause = {KSIM_POSITION(0, 1), KSIM_POSITION(0, 2), KSIM_POSITION(0, 3)};
        return false;
    };
    e = run("G1 X5 F600\nM0\nX10\n", Settings{}, hooks, RunEnd::Paused);
    EXPECT_EQ(at_pause, (Pulses{5000, 0, 0}));
    EXPECT_EQ(e.end, (Pulses{5000, 0, 0}));
}
