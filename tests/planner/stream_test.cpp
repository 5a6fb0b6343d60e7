// stream_test.cpp - the planner fed as a controller reading its program feeds it: one
// move at a time, while it wants more, taking slices in between. Every program of the
// planner tests makes the slices, actions and holds it makes when given whole, in a
// bounded window; a program the window cannot plan ahead ends exactly, within the
// limits, only slower. The estimate and the card's stream, fed the same way, give the
// whole program's figures and slices.
#include "korva3.h"
#include "korva3_sim.h"
#include "planner/estimate.h"
#include "planner/stream.h"
#include "programs.h"

using namespace planner_test;

namespace {

// Each move tagged with its number from 1, as a reader numbers its lines.
std::vector<PathMove> tagged(std::vector<PathMove> moves)
{
    for (size_t i = 0; i < moves.size(); i++)
        moves[i].step = i + 1;
    return moves;
}

// Collinear steps of 0.2 pulses at the axis's top speed: braking from it takes
// 50000 of them, more than the window holds.
Program tiny_steps()
{
    std::vector<Vec3> points{{0, 0, 0}};
    for (int i = 1; i <= 60000; i++)
        points.push_back({0.0002 * i, 0, 0});
    return {"60000 steps of 0.0002 mm", polyline_moves(points, 6000), Limits{}, {}};
}

// The slices that differ (the first few reported), by every field.
size_t differing(const Executed &a, const Executed &b)
{
    size_t bad = 0;
    for (size_t k = 0; k < std::min(a.slices.size(), b.slices.size()); k++) {
        const Slice &x = a.slices[k], &y = b.slices[k];
        bool same = x.line == y.line && x.step == y.step && x.rapid == y.rapid &&
                    x.speed_mm_s == y.speed_mm_s && x.feed_mm_s == y.feed_mm_s;
        for (int i = 0; i < 3; i++)
            same = same && x.pulses[i] == y.pulses[i];
        if (!same && bad++ < 3)
            ADD_FAILURE() << "slice " << k << ": " << x.pulses[0] << " " << x.pulses[1] << " "
                          << x.pulses[2] << " at " << x.speed_mm_s << " mm/s, streamed "
                          << y.pulses[0] << " " << y.pulses[1] << " " << y.pulses[2] << " at "
                          << y.speed_mm_s << " mm/s";
    }
    return bad;
}

// The slices the whole program makes, counted as the estimate counts them (skip).
double counted_whole(const std::vector<PathMove> &moves, const Limits &l)
{
    Slicer slicer(moves, l);
    Slice slice;
    uint32_t action;
    double n = 0;
    for (;;) {
        n += slicer.skip();
        Next next = slicer.next(slice, action);
        if (next == Next::Done)
            return n;
        n += next == Next::Slice;
    }
}

} // namespace

TEST(PlannerStream, MoveByMoveMakesTheWholeProgramsSlices)
{
    struct Case {
        Program program;
        bool beyond_window; // braking needs more segments than the window holds
    };
    std::vector<Case> cases;
    for (Program &p : every_program())
        cases.push_back({std::move(p), false});
    // Controls that need more of the window than the path had: a 10 mm line into 400
    // segments of 0.05 mm, the feed raised five times on the line; the exit speed of
    // the line is known only once more moves come.
    std::vector<PathMove> into_short{line_to(10, 0, 0, 1200)};
    for (int i = 1; i <= 400; i++)
        into_short.push_back(line_to(10 + 0.05 * i, 0, 0, 1200));
    cases.push_back({{"into short segments, the override raised", into_short, Limits{},
                      override_at(200, {500})},
                     false});
    cases.push_back({{"into short segments, resumed faster", into_short, Limits{},
                      [](Slicer &s, size_t k) {
                          if (k == 200)
                              s.hold();
                          if (k >= 200)
                              s.set_override(500); // resumed at once when held
                      }},
                     false});
    cases.push_back({tiny_steps(), true});
    for (const Case &c : cases) {
        const Program &p = c.program;
        SCOPED_TRACE(p.name);
        const std::vector<PathMove> moves = tagged(p.moves);
        Executed whole = execute(moves, p.limits, p.controls);
        size_t most_held = 0;
        Executed streamed = execute_streamed(moves, p.limits, p.controls, &most_held);
        EXPECT_LE(most_held, kMaxWindowSegments + 3); // ahead, the path's, the one before
        EXPECT_EQ(streamed.actions, whole.actions);
        EXPECT_EQ(streamed.holds, whole.holds);
        EXPECT_EQ(streamed.at.back(), whole.at.back());
        EXPECT_EQ(streamed.slices.back().step, whole.slices.back().step);
        if (c.beyond_window) {
            expect_within_limits(streamed, p.limits);
            EXPECT_EQ(streamed.at.back(), end_pulses(moves.back(), p.limits));
            EXPECT_GT(streamed.slices.size(), whole.slices.size());
            continue;
        }
        EXPECT_EQ(streamed.slices.size(), whole.slices.size());
        EXPECT_EQ(differing(whole, streamed), 0u);
        if (p.controls)
            continue;
        Estimate estimate(p.limits);
        for (const PathMove &m : moves)
            estimate.push(m, m.kind == Kind::Stop ? 1.5 : 0);
        estimate.finish();
        EXPECT_TRUE(estimate.done());
        EXPECT_EQ(estimate.slices(), counted_whole(moves, p.limits));
        EXPECT_EQ(estimate.ms(), estimate.slices() * p.limits.slice_us / 1000.0 +
                                     1.5 * whole.actions.size());
    }
}

namespace {

// A virtual card, registered as card 0, its slice period the limits'.
void fresh_card(const Limits &l)
{
    KSIM_RESET();
    KSIM_SET_LOGGING(0);
    ASSERT_EQ(KSIM_ADD_CARD(0, 1, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR,
                            KSIM_PCI_SUBSYSTEM, 0),
              0);
    KSIM_SET_SLICE_PERIOD_US(0, l.slice_us);
    KORVA3_INITIAL();
    ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
}

struct CardRun {
    StreamReport report;
    std::vector<Slice> sent;
    std::vector<uint32_t> actions;
    size_t pumps = 0; // times pump() came back for more moves
};

// `moves` streamed to a fresh card, pushed one at a time (or all at once, finished),
// with the controls `poll` answers and actions refused from `refuse_from`.
CardRun run_on_card(const std::vector<PathMove> &moves, const Limits &l, bool move_by_move,
                    std::function<Controls(const Status &)> poll, size_t refuse_from)
{
    CardRun r;
    fresh_card(l);
    StreamHooks h;
    h.poll = poll;
    h.sent = [&](const Slice &s) { r.sent.push_back(s); };
    h.action = [&](uint32_t a) {
        r.actions.push_back(a);
        return r.actions.size() < refuse_from;
    };
    if (!move_by_move) {
        Slicer slicer(moves, l);
        r.report = stream_to_card(slicer, 0, h);
        return r;
    }
    Slicer slicer(l);
    Streamer streamer(slicer, 0, h);
    size_t pushed = 0;
    do {
        while (slicer.wants_more() && pushed < moves.size())
            slicer.push(moves[pushed++]);
        if (pushed == moves.size())
            slicer.finish();
        r.pumps++;
    } while (streamer.pump());
    r.report = streamer.report();
    EXPECT_TRUE(streamer.ended());
    return r;
}

} // namespace

// On the card: a pumped stream sends what the whole program's stream sends, does the
// same actions, and ends the same way, whichever way the run ends.
TEST(PlannerStream, PumpedStreamSendsTheWholeProgramsSlices)
{
    auto none = [](const Status &) { return Controls{}; };
    auto stop_at_400 = [](const Status &st) {
        Controls c;
        c.stop = st.slices >= 400;
        return c;
    };
    auto hold_a_while = [held = 0](const Status &st) mutable {
        Controls c;
        held += st.held;
        c.hold = st.slices >= 300 && held < 20;
        c.override = st.slices >= 900 ? 150 : 100;
        return c;
    };
    auto emergency_at_600 = [](const Status &st) {
        Controls c;
        c.emergency = st.slices >= 600;
        return c;
    };
    const struct {
        const char *name;
        std::function<Controls(const Status &)> poll;
        size_t refuse_from; // the first action refused (1: the first)
        StreamEnd end;
    } cases[] = {
        {"to the end", none, SIZE_MAX, StreamEnd::Done},
        {"an action refused", none, 1, StreamEnd::ActionRefused},
        {"stopped", stop_at_400, SIZE_MAX, StreamEnd::Stopped},
        {"held, resumed faster", hold_a_while, SIZE_MAX, StreamEnd::Done},
        {"emergency", emergency_at_600, SIZE_MAX, StreamEnd::Emergency},
    };
    Limits l = odd_scale_limits();
    std::vector<PathMove> moves = tagged(random_segments_with_stops());
    moves.resize(1500); // a stop after the 1000th line, 499 lines after it
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CardRun whole = run_on_card(moves, l, false, c.poll, c.refuse_from);
        CardRun pumped = run_on_card(moves, l, true, c.poll, c.refuse_from);
        EXPECT_EQ(pumped.report.end, c.end);
        EXPECT_EQ(whole.report.end, c.end);
        EXPECT_EQ(pumped.report.slices, whole.report.slices);
        EXPECT_EQ(pumped.report.underruns, whole.report.underruns);
        EXPECT_EQ(pumped.report.line, whole.report.line);
        EXPECT_EQ(pumped.report.step, whole.report.step);
        EXPECT_EQ(pumped.actions, whole.actions);
        Executed a, b; // the sent slices compared as runs
        a.slices = whole.sent;
        b.slices = pumped.sent;
        EXPECT_EQ(a.slices.size(), b.slices.size());
        EXPECT_EQ(differing(a, b), 0u);
        EXPECT_GT(pumped.pumps, 1u); // it did come back for moves
    }
    KORVA3_END();
}
