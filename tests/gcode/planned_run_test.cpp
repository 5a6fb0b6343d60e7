// planned_run_test.cpp - programs planned and streamed to the virtual card with
// KORVA3_INTP_PULSE: what the card executed (its motion log) ends exactly, passes where
// the program's arcs go, never drifts over thousands of short moves, stays within every
// axis's limits, never runs dry with the default queue, takes the planned time, and
// follows the live controls.
#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gcode/path_moves.h"
#include "gcode/program.h"
#include "korva3.h"
#include "korva3_sim.h"
#include "planner/stream.h"

using namespace korva3_gcode;
namespace kp = korva3_planner;

namespace {

struct CardRun {
    std::vector<std::array<int32_t, 3>> at; // the card's position after every slice
    kp::StreamReport report;
    uint32_t ms = 0;       // virtual time from the first slice to rest
    double planned = 0;    // ms, as --check plans it
    int stops = 0;         // dwells, outputs, M0, the end
    int stops_off_point = 0; // stops where the card was not on the program's point
    std::array<int32_t, 3> end{};
    PulsePoint program_end{};
};

void take_motion(std::vector<std::array<int32_t, 3>> &at)
{
    int32_t rec[4 * 1024];
    uint32_t n;
    while ((n = KSIM_TAKE_MOTION(0, rec, 1024)) > 0)
        for (uint32_t k = 0; k < n; k++)
            at.push_back({rec[4 * k + 1], rec[4 * k + 2], rec[4 * k + 3]});
}

CardRun run_on_card(const std::string &text, const Settings &s,
                    std::function<kp::Controls(const kp::Status &)> poll = {})
{
    CardRun r;
    Program p;
    std::vector<std::string> errors;
    if (!read_program("t.ngc", text, s, p, errors)) {
        ADD_FAILURE() << errors.front();
        return r;
    }
    r.program_end = kp::to_pulses(p.end, s.scale);
    for (const Move &m : p.moves)
        r.stops += m.op != Op::Line && m.op != Op::Arc && m.op != Op::Circle;
    r.planned = planned_ms(p, s);
    KSIM_RESET();
    KSIM_SET_LOGGING(0);
    KSIM_SET_SLICE_PERIOD_US(-1, s.slice_us);
    KSIM_ADD_CARD(0, 1, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR, KSIM_PCI_SUBSYSTEM, 0);
    KORVA3_INITIAL();
    EXPECT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    r.at.push_back({0, 0, 0});
    kp::Slicer slicer(path_moves(p), planner_limits(s));
    kp::StreamHooks h;
    h.poll = [&](const kp::Status &st) {
        take_motion(r.at);
        return poll ? poll(st) : kp::Controls{};
    };
    h.action = [&](uint32_t i) {
        PulsePoint here{KSIM_POSITION(0, 1), KSIM_POSITION(0, 2), KSIM_POSITION(0, 3)};
        // The whole path before it run:
        r.stops_off_point += here != kp::to_pulses(p.moves[i].end, s.scale);
        if (p.moves[i].op == Op::Dwell)
            KSIM_ADVANCE_MS(p.moves[i].ms);
        return true;
    };
    uint32_t t0 = KSIM_CLOCK_MS();
    r.report = kp::stream_to_card(slicer, 0, h);
    r.ms = KSIM_CLOCK_MS() - t0;
    take_motion(r.at);
    r.end = {KSIM_POSITION(0, 1), KSIM_POSITION(0, 2), KSIM_POSITION(0, 3)};
    return r;
}

// Every executed slice within each axis's limits (one pulse of rounding allowed).
size_t limit_violations(const CardRun &r, const Settings &s)
{
    kp::Limits l = planner_limits(s);
    double t = kp::slice_s(l);
    size_t bad = 0;
    for (int a = 0; a < 3; a++) {
        double v = kp::axis_speed(l, a) * l.scale[a] * t + 1;
        double acc = l.max_accel_mm_s2[a] * l.scale[a] * t * t + 2;
        for (size_t k = 1; k < r.at.size(); k++) {
            double d = r.at[k][a] - r.at[k - 1][a];
            double d0 = k > 1 ? r.at[k - 1][a] - r.at[k - 2][a] : 0;
            bad += std::fabs(d) > v || std::fabs(d - d0) > acc;
        }
    }
    return bad;
}

// How near the executed path came to `p` (pulses).
double nearest(const CardRun &r, const std::array<double, 3> &p)
{
    double best = INFINITY;
    for (const auto &q : r.at)
        best = std::fmin(best, std::hypot(std::hypot(q[0] - p[0], q[1] - p[1]), q[2] - p[2]));
    return best;
}

std::string wave(int segments)
{
    std::string t = "G21 G90 G1 F2400\n";
    for (int i = 1; i <= segments; i++)
        t += "X" + std::to_string(i * 0.1) + " Y" + std::to_string(2 * std::sin(i * 0.01)) + "\n";
    return t + "G0 Z5\nM2\n";
}

} // namespace

// Programs of each kind on the card: exact end, no limit broken, the queue never dry,
// the time the planner gave (to the ms, bar a ms for each stop's handover).
TEST(PlannedRun, ProgramsRunAsPlanned)
{
    const struct {
        const char *name;
        std::string text;
    } cases[] = {
        {"lines and arcs", "G21 G90 G0 X5 Y0\nG1 Z-1 F25\nG1 X55 F1200\nG3 X60 Y5 I0 J5\n"
                           "G2 X60 Y15 R5\nG1 X5\nG4 P0.5\nM3\nG0 Z5\nX0 Y0\nM2\n"},
        {"short segments", wave(2000)},
        {"full circle", "G17 G1 X10 F3000\nG2 X10 Y0 I-10 J0\nM2\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Settings s;
        CardRun r = run_on_card(c.text, s);
        EXPECT_EQ(r.report.end, kp::StreamEnd::Done);
        for (int a = 0; a < 3; a++)
            EXPECT_EQ(r.end[a], r.program_end[a]);
        EXPECT_EQ(limit_violations(r, s), 0u);
        EXPECT_EQ(r.report.underruns, 0u);
        EXPECT_EQ(r.stops_off_point, 0);
        EXPECT_GE(r.ms, r.planned);
        EXPECT_LE(r.ms, r.planned + r.stops + 2); // a ms at each stop, the clock's read
    }
}

// Live: a feed hold mid-way stands the card on the path; releasing it goes on to the
// exact end; an emergency stop stops the card at once.
TEST(PlannedRun, HoldAndEmergencyStopOnTheCard)
{
    Settings s;
    std::string text = "G1 X100 F3000\nM2\n";
    uint64_t held_at = 0, still = 0;
    CardRun r = run_on_card(text, s, [&](const kp::Status &st) {
        kp::Controls c;
        c.hold = st.slices >= 500 && still < 50;
        if (st.held) {
            held_at = st.slices;
            still++;
        }
        return c;
    });
    EXPECT_GT(held_at, 500u);
    EXPECT_EQ(r.end[0], 100000);
    EXPECT_EQ(limit_violations(r, s), 0u);

    CardRun e = run_on_card(text, s, [](const kp::Status &st) {
        kp::Controls c;
        c.emergency = st.slices >= 500;
        return c;
    });
    EXPECT_EQ(e.report.end, kp::StreamEnd::Emergency);
    EXPECT_LT(e.end[0], 100000);
}

// Short programs end exactly on their rounded target, whatever the scale rounds, and
// arcs go the way G2 and G3 say in each plane, either way round by R, as helices, and
// in millimetres on axes of different scales.
TEST(PlannedRun, ShortProgramsEndExactlyAndArcsTurnTheirWay)
{
    Settings odd; // scales that round nearly every coordinate
    odd.scale = {333.3, 287.9, 101.7};
    Settings quarter;
    quarter.scale = {250, 250, 250};
    Settings uneven; // the arcs' planes on axes of different scales
    uneven.scale = {1000, 400, 250};
    const struct {
        const char *text;
        Settings settings;
        PulsePoint end;
        std::array<double, 3> through; // pulses: a point the path passes (NaN: none)
    } cases[] = {
        {"G1 X10 Y-5 Z2 F600", {}, {10000, -5000, 2000}, {NAN}},
        {"G1 X1.23456 Y-0.000251 F600", {}, {1235, 0, 0}, {NAN}},
        {"G20 G1 X1 Y-2 F20", {}, {25400, -50800, 0}, {NAN}},
        {"G91 G1 X1 F600\nY2\nX-0.5 Z0.25", {}, {500, 2000, 250}, {NAN}},
        {"G0 X10\nG92 X0 Y5\nG0 X5 Y5", {}, {15000, 0, 0}, {NAN}},
        {"G1 X7.77 Y3.33 Z-1.11 F300\nG0 X0 Y0 Z0", odd, {0, 0, 0}, {NAN}},
        {"G1 X7.77 Y3.33 Z-1.11 F300", odd, {2590, 959, -113}, {NAN}},
        {"G17 G2 X20 I10 F600", {}, {20000, 0, 0}, {10000, 10000, 0}},
        {"G17 G3 X20 I10 F600", {}, {20000, 0, 0}, {10000, -10000, 0}},
        {"G18 G2 X20 I10 F600", {}, {20000, 0, 0}, {10000, 0, -10000}},
        {"G18 G3 X20 I10 F600", {}, {20000, 0, 0}, {10000, 0, 10000}},
        {"G19 G2 Y20 J10 F600", {}, {0, 20000, 0}, {0, 10000, 10000}},
        {"G19 G3 Y20 J10 F600", {}, {0, 20000, 0}, {0, 10000, -10000}},
        {"G2 X10 Y10 R10 F600", {}, {10000, 10000, 0}, {2929, 7071, 0}},
        {"G2 X10 Y10 R-10 F600", {}, {10000, 10000, 0}, {-10000, 10000, 0}},
        {"G3 X0 Y0 I3.3333 J-1.7777 F600", quarter, {0, 0, 0}, {1666.65, -888.85, 0}},
        {"G1 X1.001 F100\nG3 X3 Y2 R2.0005", {}, {3000, 2000, 0}, {NAN}},
        // helices: the axis across the plane moves evenly with the angle
        {"G17 G2 X20 Z5 I10 F600", {}, {20000, 0, 5000}, {10000, 10000, 2500}},
        {"G18 G2 X20 Y3 I10 F600", {}, {20000, 3000, 0}, {10000, 1500, -10000}},
        {"G19 G3 Y0 Z0 X-4 K10 F600 (a whole turn)", {}, {-4000, 0, 0}, {-2000, 0, 20000}},
        // a circle in mm on axes of different scales
        {"G17 G3 X20 I10 F600", uneven, {20000, 0, 0}, {10000, -4000, 0}},
        {"G18 G3 X20 I10 F600", uneven, {20000, 0, 0}, {10000, 0, 2500}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        CardRun r = run_on_card(c.text, c.settings);
        EXPECT_EQ(r.program_end, c.end);
        for (int a = 0; a < 3; a++)
            EXPECT_EQ(r.end[a], c.end[a]);
        if (!std::isnan(c.through[0])) {
            EXPECT_LE(nearest(r, c.through), 8.0); // slices about 10 pulses apart
        }
    }
}

// Every quadrant, both directions, all three planes: quarter arcs that cross the axes,
// three-quarter arcs by a negative R, and full circles; the path reaches every axis
// crossing and ends where it began.
TEST(PlannedRun, ArcsInEveryQuadrantDirectionAndPlane)
{
    const char *planes[] = {"G17", "G18", "G19"};
    const char *pairs[][2] = {{"X", "Y"}, {"Z", "X"}, {"Y", "Z"}}; // G-code's (a, b) of each
    const char *offsets[][2] = {{"I", "J"}, {"K", "I"}, {"J", "K"}};
    const double r = 12.345, deg = 3.14159265358979323846 / 180;
    std::string text = "G21 G90 F900\n";
    char buf[200];
    for (int p = 0; p < 3; p++)
        for (int g = 2; g <= 3; g++) {
            double sign = g == 3 ? 1 : -1; // G3 turns from a towards b
            auto at = [&](double a) {
                std::snprintf(buf, sizeof buf, "%s%.4f %s%.4f", pairs[p][0], r * std::cos(a * deg),
                              pairs[p][1], r * std::sin(a * deg));
                return std::string(buf);
            };
            auto centre = [&](double a) {
                std::snprintf(buf, sizeof buf, "%s%.4f %s%.4f", offsets[p][0], -r * std::cos(a * deg),
                              offsets[p][1], -r * std::sin(a * deg));
                return std::string(buf);
            };
            std::string G = "G" + std::to_string(g) + " ";
            text += std::string(planes[p]) + "\nG0 " + at(45) + "\n";
            for (int q = 1; q <= 4; q++) // quarter arcs through every axis crossing
                text += G + at(45 + sign * 90 * q) + " " + centre(45 + sign * 90 * (q - 1)) + "\n";
            text += G + at(45 + sign * 270) + " R-" + std::to_string(r) + "\n";
            text += G + centre(45 + sign * 270) + "\n";
        }
    text += "G0 X0 Y0 Z0\n";
    CardRun run = run_on_card(text, Settings{});
    for (int a = 0; a < 3; a++)
        EXPECT_EQ(run.end[a], 0);
    for (int axis = 0; axis < 3; axis++)
        for (double end : {-r * 1000, r * 1000}) {
            std::array<double, 3> crossing{0, 0, 0};
            crossing[axis] = end;
            double best = INFINITY; // on that axis only: the crossing's other axes vary by plane
            for (const auto &q : run.at)
                best = std::fmin(best, std::fabs(q[axis] - end));
            EXPECT_LE(best, 1.0) << "XYZ"[axis] << " " << end;
        }
    EXPECT_EQ(limit_violations(run, Settings{}), 0u);
}

// A program as CAM software writes it: header, comments, line numbers, modal G1, and
// thousands of short segments that each round, ending exactly where the last rounds.
TEST(PlannedRun, ThousandsOfShortSegmentsDoNotDrift)
{
    std::string text = "%\n(O1001 spiral - generated)\nN5 G90 G94 G17 G21 G40 G49 G80 G54\n"
                       "N10 M3 S8000\nN15 M8\nN20 G0 X0 Y0\nN25 G1 Z-0.5 F200\nN30 F1500\n";
    char buf[100];
    for (int i = 1; i <= 3000; i++) {
        double a = i * 0.01, rad = 0.01 * i / 3.0;
        std::snprintf(buf, sizeof buf, "N%d X%.4f Y%.4f\n", 30 + 5 * i, rad * std::cos(a),
                      rad * std::sin(a));
        text += buf;
    }
    text += "N90000 G0 Z5\nM9\nM5\nM30\n%\n";
    Settings s;
    s.scale = {157.48, 157.48, 400}; // 4 mm pitch, 630 pulses a turn
    CardRun r = run_on_card(text, s);
    double a = 30, rad = 10;
    EXPECT_EQ(r.end[0], std::llround(std::round(rad * std::cos(a) * 1e4) / 1e4 * 157.48));
    EXPECT_EQ(r.end[1], std::llround(std::round(rad * std::sin(a) * 1e4) / 1e4 * 157.48));
    EXPECT_EQ(r.end[2], 2000);
    EXPECT_EQ(limit_violations(r, s), 0u);
}

// The path-control words on the card: under G61 the path goes through the corner
// itself; under G64 it rounds the corner within the machine's tolerance, or within P.
TEST(PlannedRun, PathControlWordsSetTheCorner)
{
    const struct {
        const char *mode;
        double low, high; // how near the path comes to the corner, pulses
    } cases[] = {
        {"G61", 0, 0},
        {"G61.1", 0, 0},
        {"G64", 3, 11},         // path_tolerance 0.01 mm
        {"G64 P0.2 Q0.05", 150, 201},
        {"G20 G64 P0.004", 50, 102}, // 0.1016 mm
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        CardRun r = run_on_card(std::string(c.mode) + "\nG21 G1 X10 F600\nY10\nM2\n", Settings{});
        double d = nearest(r, {10000, 0, 0});
        EXPECT_GE(d, c.low);
        EXPECT_LE(d, c.high);
        EXPECT_EQ(r.end[0], 10000);
        EXPECT_EQ(r.end[1], 10000);
        EXPECT_EQ(limit_violations(r, Settings{}), 0u);
    }
}

// Canned cycles on the card: every hole's bottom reached and not passed, the program's
// end reached exactly, every stop (the dwells) on its point.
TEST(PlannedRun, CannedCyclesReachTheirBottomsAndEndExactly)
{
    const struct {
        const char *text;
        PulsePoint end;
        int32_t bottom; // pulses
    } cases[] = {
        {"G0 Z5\nG99 G83 X3 Y2 Z-4 R1 Q1.5 F300\nX6\nG98 G82 X9 Z-2 R1 P0.2\nG80\nG0 Z5",
         {9000, 2000, 5000}, -4000},
        {"G0 Z5\nG91 G98 G73 X2 Z-5 R-4 Q1 L3 F300", {6000, 0, 5000}, -4000},
        {"G0 Z5\nG99 G89 X1 Z-1 R0.5 P0.1 F300\nY1", {1000, 1000, 500}, -1000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        CardRun r = run_on_card(c.text, Settings{});
        EXPECT_EQ(r.program_end, c.end);
        for (int a = 0; a < 3; a++)
            EXPECT_EQ(r.end[a], c.end[a]);
        EXPECT_EQ(r.stops_off_point, 0);
        int32_t lowest = 0;
        for (const auto &p : r.at)
            lowest = std::min(lowest, p[2]);
        EXPECT_EQ(lowest, c.bottom);
    }
}
