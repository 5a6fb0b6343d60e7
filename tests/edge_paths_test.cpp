/*
 * edge_paths_test.cpp - paths and status streams at the edges of their arithmetic,
 * where a small slip (an order of operations, a signedness, a forgotten reset) changes
 * what the card receives: speed caps changed just before the ramp-down, lines whose
 * direction is an exact fraction, and sync pairs split around a registration or a
 * dropped frame.
 */
#include "sim_fixture.h"

#include <numeric>

namespace {

std::vector<int> x_of(const std::vector<Slice> &slices)
{
    std::vector<int> x;
    for (const Slice &s : slices)
        x.push_back(s.x);
    return x;
}

/* A stepwise line along X whose first batch ends after `first` slices (the card holds
 * the next byte up), then the cap changed to `speed` for the rest. */
std::vector<Slice> line_with_cap_change(int32_t length, uint32_t cap, int first, uint32_t speed)
{
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, length, 0, cap, 0), 1u);
    KSIM_HOLD(0, 26 * (first - 1));
    EXPECT_EQ(KORVA3_INTP_STOP(), 1u);
    EXPECT_EQ(take_slices().size(), size_t(first));
    while (KORVA3_INTP_ONLINE_SETSPEED(speed)) {
    }
    return take_slices();
}

TEST_F(SimTest, ACapChangedJustBeforeTheRampDownStillBrakesByAccel)
{
    register_card();
    struct {
        uint32_t accel, cap, first, raised_to;
        int32_t length;
        std::vector<int> tail; /* the rest of the path, slice by slice */
    } cases[] = {
        /* raised: two slices up by accel, then down, the last one what is left */
        {20, 10, 138, 400, 1481, {30, 50, 20, 1}},
        {100, 50, 152, 2040, 8105, {150, 250, 100, 5}},
        /* lowered below a step that accel cannot take off: the step stays, and the
         * ramp-down never brakes below accel */
        {50, 40, 3, 10, 1000, {40, 50, 30}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.length);
        KORVA3_SET_VAR(0, 10, c.accel, 1, 100, 0);
        const int32_t before = KSIM_AXIS_PULSES(0, 1);
        std::vector<int> rest = x_of(line_with_cap_change(c.length, c.cap, c.first, c.raised_to));
        EXPECT_EQ(KSIM_AXIS_PULSES(0, 1) - before, c.length); /* every pulse, none lost */
        ASSERT_GE(rest.size(), c.tail.size());
        EXPECT_EQ(std::vector<int>(rest.end() - c.tail.size(), rest.end()), c.tail);
    }
}

/* A line whose direction is an exact fraction: 13/23 of the path is X. The ideal point
 * is target / length x travelled; 13/23 x 23 comes out just below 13, so the first
 * slice owes 12 whole pulses and the 13th is carried to a later slice. */
TEST_F(SimTest, ALineOfExactLengthSendsTheTruncatedIdealPoint)
{
    register_card();
    ASSERT_EQ(KORVA3_INTP_XYZ02(0, 1300, 600, 1800, 23, 1), 1u); /* length 2300 */
    while (KORVA3_INTP_STOP()) {
    }
    std::vector<Slice> s = take_slices();
    ASSERT_EQ(s.size(), 100u);
    EXPECT_EQ(std::vector<Slice>(s.begin(), s.begin() + 4),
              (std::vector<Slice>{{12, 6, 18}, {13, 6, 18}, {14, 6, 18}, {12, 6, 18}}));
    int x = 0;
    for (const Slice &v : s)
        x += v.x;
    EXPECT_EQ(x, 1300);
}

/* The status reader's hunt for 55 AA: a sync byte seen before a registration, or before
 * a frame that stopped part-way, does not pair with the bytes after it. */
TEST_F(SimTest, AHalfSeenSyncPairIsForgottenByRegistrationAndADroppedFrame)
{
    /* Status frames whose XC is `xc`, everything else 0. */
    auto frame = [](uint8_t xc) {
        Bytes f(32, 0);
        f[10] = f[31] = xc;
        return f;
    };
    struct {
        const char *what;
        Bytes before;  /* read by one KORVA3_GET_CARD */
        bool reregister;
    } cases[] = {
        {"registration", {0x12, 0x55}, true},
        {"dropped frame", {0x55, 0xAA, 1, 2, 3}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        register_card();
        KSIM_OFFER(0, c.before.data(), (uint32_t)c.before.size());
        KORVA3_GET_CARD(0);
        if (c.reregister) {
            ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
        }
        Bytes after{0xAA}, good{0x55, 0xAA};
        for (uint8_t b : frame(9))
            after.push_back(b);
        for (uint8_t b : frame(7))
            good.push_back(b);
        KSIM_OFFER(0, after.data(), (uint32_t)after.size());
        KORVA3_GET_CARD(0);
        EXPECT_NE(KORVA3_GET_XC(0), 9); /* no frame: AA alone is no sync pair */
        KSIM_OFFER(0, good.data(), (uint32_t)good.size());
        KORVA3_GET_CARD(0);
        EXPECT_EQ(KORVA3_GET_XC(0), 7);
    }
}

} // namespace
