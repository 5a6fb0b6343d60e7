// planned_run_test.cpp - programs planned and streamed to the virtual card with
// KORVA3_INTP_PULSE: what the card executed (its motion log) ends exactly, stays within
// every axis's limits, never runs dry with the default queue, takes the planned time,
// and follows the live controls.
#include <gtest/gtest.h>

#include <cmath>
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
    std::array<int32_t, 3> end{};
    Pulses program_end{};
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
    r.program_end = p.end;
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
    kp::Slicer slicer(path_moves(p, s), planner_limits(s));
    kp::StreamHooks h;
    h.poll = [&](const kp::Status &st) {
        take_motion(r.at);
        return poll ? poll(st) : kp::Controls{};
    };
    h.action = [&](uint32_t i) {
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
        double acc = l.accel[a] * l.scale[a] * t * t + 2;
        for (size_t k = 1; k < r.at.size(); k++) {
            double d = r.at[k][a] - r.at[k - 1][a];
            double d0 = k > 1 ? r.at[k - 1][a] - r.at[k - 2][a] : 0;
            bad += std::fabs(d) > v || std::fabs(d - d0) > acc;
        }
    }
    return bad;
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
