/*
 * path_properties_test.cpp - properties over many random paths (seeded, reproducible):
 * the pulses add up exactly to the target, the steps to total_length, no slice is over
 * the frame's limit, the pulses never lag the ideal point by a whole pulse, and the
 * same path sends the same frames blocking, stepwise, and stepwise with hold-ups.
 */
#include "sim_fixture.h"

#include <cmath>
#include <random>

namespace {

enum Kind { XYZ, LINE, CIRCLE, ARC };

struct Path {
    Kind kind;
    uint32_t plane;
    int32_t a, b, c; // targets, centre, or end point and radius
    uint32_t direction, speed;
};

std::ostream &operator<<(std::ostream &os, const Path &p)
{
    return os << "kind " << p.kind << " plane " << p.plane << " (" << p.a << ", " << p.b
              << ", " << p.c << ") dir " << p.direction << " speed " << p.speed;
}

/* Pulses each plane coordinate (u, v) takes on the card's axes. */
Slice to_axes(const Path &p, int u, int v, int w = 0)
{
    if (p.kind == XYZ)
        return {u, v, w};
    switch (p.plane) {
    case 1: return {u, v, 0};
    case 2: return {u, 0, v};
    default: return {0, u, v};
    }
}

void run_blocking(const Path &p)
{
    switch (p.kind) {
    case XYZ: KORVA3_INTP_XYZ(0, p.a, p.b, p.c, p.speed); break;
    case LINE: KORVA3_INTP_LINE01(0, p.plane, p.a, p.b, p.speed); break;
    case CIRCLE: KORVA3_INTP_CIRCLE01(0, p.plane, p.a, p.b, p.direction, p.speed); break;
    case ARC: KORVA3_INTP_ARC01(0, p.plane, p.a, p.b, p.c, p.direction, p.speed); break;
    }
}

uint32_t start_stepwise(const Path &p)
{
    switch (p.kind) {
    case XYZ: return KORVA3_INTP_XYZ02(0, p.a, p.b, p.c, p.speed, 0);
    case LINE: return KORVA3_INTP_LINE02(0, p.plane, p.a, p.b, p.speed, 0);
    case CIRCLE: return KORVA3_INTP_CIRCLE02(0, p.plane, p.a, p.b, p.direction, p.speed, 0);
    default: return KORVA3_INTP_ARC02(0, p.plane, p.a, p.b, p.c, p.direction, p.speed, 0);
    }
}

Path random_path(std::mt19937 &rng, Kind kind)
{
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Path p{kind, (uint32_t)pick(1, 3), 0, 0, 0, (uint32_t)pick(0, 1), 0};
    const int span = pick(0, 3) == 0 ? 60 : 40000; // short paths too
    switch (kind) {
    case XYZ:
        p.c = pick(-span, span);
        [[fallthrough]];
    case LINE:
        p.a = pick(-span, span);
        p.b = pick(-span, span);
        if (p.a == 0 && p.b == 0)
            p.a = 1;
        break;
    case CIRCLE:
        p.a = pick(-span / 4, span / 4);
        p.b = pick(-span / 4, span / 4);
        if (p.a == 0 && p.b == 0)
            p.b = -7;
        break;
    case ARC: {
        p.a = pick(-span / 2, span / 2);
        p.b = pick(-span / 2, span / 2);
        double half = 0.5 * std::sqrt((double)p.a * p.a + (double)p.b * p.b);
        int r = (int)std::ceil(half) + pick(0, span / 2);
        p.c = pick(0, 1) ? r : -r;
        if (p.c == 0)
            p.c = 1;
        break;
    }
    }
    // Speeds from a crawl to beyond the ceiling, bounded so a path keeps to a few
    // thousand slices.
    int floor_speed = 1 + span / 400;
    p.speed = pick(0, 9) == 0 ? (uint32_t)pick(2041, 100000) : (uint32_t)pick(floor_speed, 2040);
    return p;
}

class PathProperties : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        register_card();
    }

    /* Runs the path stepwise with the card holding up the last byte of every frame, so
     * each run call sends exactly one slice, and checks each slice as it goes. */
    std::vector<Slice> run_slice_by_slice(const Path &p, uint64_t *steps)
    {
        std::vector<Slice> slices;
        *steps = 0;
        if (!start_stepwise(p))
            return slices;
        for (int guard = 0; guard < 1000000; guard++) {
            KSIM_HOLD(0, 25);
            uint32_t more = KORVA3_INTP_STOP();
            auto got = take_slices();
            EXPECT_EQ(got.size(), 1u) << p;
            if (got.size() != 1)
                break;
            slices.push_back(got[0]);
            *steps += lib("step");
            const char *coords[] = {"u", "v", "w"};
            for (int j = 0; j < (p.kind == XYZ ? 3 : 2); j++) {
                std::string ideal = std::string("ideal_") + coords[j];
                std::string sent = std::string("sent_") + coords[j];
                double lag = KSIM_LIB_DOUBLE(ideal.c_str()) - KSIM_LIB_DOUBLE(sent.c_str());
                EXPECT_LT(std::fabs(lag), 1.0) << p << " coordinate " << j;
            }
            if (!more)
                break;
        }
        return slices;
    }
};

TEST_F(PathProperties, RandomPathsArriveExactlyAndTheSameWayEveryTime)
{
    std::mt19937 rng(20261208);
    KSIM_SET_LOGGING(1);
    int paths = 0;
    size_t total_slices = 0;
    for (Kind kind : {XYZ, LINE, CIRCLE, ARC}) {
        for (int n = 0; n < 40; n++, paths++) {
            const Path p = random_path(rng, kind);
            SCOPED_TRACE(::testing::Message() << p);
            const uint32_t accel = std::uniform_int_distribution<uint32_t>(1, 250)(rng);
            const uint32_t start = std::uniform_int_distribution<uint32_t>(1, 500)(rng);
            KORVA3_SET_VAR(0, 10, accel, start, 2040, 0);
            take_frames();

            run_blocking(p);
            const auto blocking = take_slices();
            ASSERT_FALSE(blocking.empty());
            total_slices += blocking.size();
            const uint32_t total_length = lib("total_length");

            Slice sum{0, 0, 0};
            for (const Slice &s : blocking) {
                ASSERT_LE(std::abs(s.x), 2047);
                ASSERT_LE(std::abs(s.y), 2047);
                ASSERT_LE(std::abs(s.z), 2047);
                sum.x += s.x, sum.y += s.y, sum.z += s.z;
            }
            Slice target = p.kind == CIRCLE ? Slice{0, 0, 0}
                           : p.kind == XYZ  ? to_axes(p, p.a, p.b, p.c)
                                            : to_axes(p, p.a, p.b);
            EXPECT_EQ(sum, target);

            ASSERT_EQ(start_stepwise(p), 1u);
            EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
            EXPECT_EQ(take_slices(), blocking) << "stepwise without hold-ups";

            uint64_t steps = 0;
            EXPECT_EQ(run_slice_by_slice(p, &steps), blocking) << "stepwise, slice by slice";
            EXPECT_EQ(steps, total_length);
            if (p.kind == XYZ || p.kind == LINE) {
                EXPECT_EQ(lib("travelled"), total_length);
            }
        }
    }
    EXPECT_EQ(paths, 160);
    EXPECT_GT(total_slices, 4000u);
    EXPECT_EQ(KSIM_BAD_COMMANDS(0), 0u);
}

} // namespace
