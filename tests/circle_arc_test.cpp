/*
 * circle_arc_test.cpp - circles and arcs: set-up values (radius, lengths, angles,
 * centres), the first frames, the end points, planes and refusals.
 */
#include "sim_fixture.h"

#include <cmath>

namespace {

struct Sum {
    int x = 0, y = 0, z = 0;
    int min_y = 0, max_y = 0;
};

Sum sum_slices(const std::vector<Slice> &slices)
{
    Sum s;
    for (const Slice &p : slices) {
        s.x += p.x;
        s.y += p.y;
        s.z += p.z;
        s.min_y = std::min(s.min_y, s.y);
        s.max_y = std::max(s.max_y, s.y);
    }
    return s;
}

class Curves : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        register_card();
    }
    /* Sets a stepwise request up (nothing is sent) so its set-up can be read. */
    void setup_arc(int32_t eu, int32_t ev, int32_t r, uint32_t dir)
    {
        ASSERT_EQ(KORVA3_INTP_ARC02(0, 1, eu, ev, r, dir, 50, 0), 1u);
        EXPECT_TRUE(take_frames().empty());
    }
};

TEST_F(Curves, CircleAroundHundredZero)
{
    ASSERT_EQ(KORVA3_INTP_CIRCLE02(0, 1, 100, 0, 1, 50, 0), 1u);
    EXPECT_EQ(KSIM_LIB_DOUBLE("path_radius"), 100.0);
    EXPECT_EQ(lib("total_length"), 628u);
    EXPECT_EQ(KSIM_LIB_DOUBLE("path_angle"), 3.141592654);
    KORVA3_SET_NC(0, 0); // ends the request
    take_frames();

    KORVA3_INTP_CIRCLE(0, 100, 0, 1, 50);
    auto slices = take_slices();
    ASSERT_FALSE(slices.empty());
    EXPECT_EQ(slices[0], (Slice{0, -1, 0}));
    Sum s = sum_slices(slices);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 0);
    EXPECT_LE(s.min_y, -98); // the slices sample the circle of radius 100
    EXPECT_GE(s.min_y, -100);
    EXPECT_GE(s.max_y, 98);
    EXPECT_LE(s.max_y, 100);
}

TEST_F(Curves, CircleStartAnglesOnTheVAxis)
{
    const std::pair<int32_t, double> cases[] = {{500, -1.570796327}, {-500, 1.570796327}};
    for (auto [cv, angle] : cases) {
        ASSERT_EQ(KORVA3_INTP_CIRCLE02(0, 1, 0, cv, 0, 50, 0), 1u);
        EXPECT_EQ(KSIM_LIB_DOUBLE("path_angle"), angle);
    }
}

struct ArcCase {
    int32_t eu, ev, r;
    uint32_t dir;
    uint32_t total_length;
    double cu, cv;
};

TEST_F(Curves, ArcCentresForEveryRadiusSignAndDirection)
{
    const ArcCase cases[] = {
        {1000, 1000, 1000, 0, 1570, 1000, 0},   {1000, 1000, 1000, 1, 1570, 0, 1000},
        {1000, 1000, -1000, 0, 4712, 0, 1000},  {1000, 1000, -1000, 1, 4712, 1000, 0},
        {2000, 0, 1000, 0, 3141, 1000, 0},      {2000, 0, -1000, 1, 3141, 1000, 0},
        {6, 8, 5, 0, 15, 3, 4},                 {6, 8, -5, 1, 15, 3, 4},
        {0, 0, -500, 1, 3141, -500, 0},         {0, 0, -500, 0, 3141, 500, 0},
        {-300, 400, 250, 1, 785, -150, 200},
    };
    for (const ArcCase &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.eu << "," << c.ev << " r" << c.r << " d" << c.dir);
        setup_arc(c.eu, c.ev, c.r, c.dir);
        EXPECT_EQ(lib("total_length"), c.total_length);
        EXPECT_NEAR(KSIM_LIB_DOUBLE("arc_center_u"), c.cu, 1e-6);
        EXPECT_NEAR(KSIM_LIB_DOUBLE("arc_center_v"), c.cv, 1e-6);
        // run it through: the pulses add up to the end point
        EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
        Sum s = sum_slices(take_slices());
        EXPECT_EQ(s.x, c.eu);
        EXPECT_EQ(s.y, c.ev);
    }
    setup_arc(1000, 1000, 1000, 0);
    EXPECT_NEAR(KSIM_LIB_DOUBLE("central_angle"), M_PI / 2, 1e-12);
}

TEST_F(Curves, HalfCirclesBulgeToTheSideOfTheirDirection)
{
    for (int32_t r : {1000, -1000}) {
        KORVA3_INTP_ARC(0, 2000, 0, r, 0, 100);
        Sum cw = sum_slices(take_slices());
        EXPECT_GE(cw.max_y, 998); // slices sample the ideal top point (1000, 1000)
        EXPECT_LE(cw.max_y, 1000);
        EXPECT_EQ(cw.min_y, 0);
        EXPECT_EQ(cw.x, 2000);
        KORVA3_INTP_ARC(0, 2000, 0, r, 1, 100);
        Sum ccw = sum_slices(take_slices());
        EXPECT_LE(ccw.min_y, -998);
        EXPECT_GE(ccw.min_y, -1000);
        EXPECT_EQ(ccw.max_y, 0);
        EXPECT_EQ(ccw.y, 0);
    }
}

TEST_F(Curves, ArcBackToItsStartWithAPositiveRadiusIsOneEmptySlice)
{
    KORVA3_INTP_ARC(0, 0, 0, 500, 1, 50);
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{0, 0, 0}}));
}

TEST_F(Curves, RefusedPathsSendNothing)
{
    ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, 100, 0, 10, 0), 1u);
    KORVA3_INTP_ARC(0, 3, 4, 2, 1, 50);     // end point beyond a diameter
    EXPECT_EQ(lib("step_mode"), 0u);
    EXPECT_EQ(lib("intp_enabled"), 1u);
    KORVA3_INTP_ARC(0, 3, 4, 0, 1, 50);     // radius 0
    KORVA3_INTP_CIRCLE(0, 0, 0, 1, 50);     // centre at the start
    EXPECT_EQ(KORVA3_INTP_ARC02(0, 1, 3, 4, 2, 1, 50, 0), 0u);
    EXPECT_EQ(KORVA3_INTP_CIRCLE02(0, 1, 0, 0, 1, 50, 0), 0u);
    EXPECT_EQ(lib("step_mode"), 0u);
    EXPECT_EQ(lib("engine_phase"), ENGINE_SETUP);
    EXPECT_TRUE(take_frames().empty());
}

TEST_F(Curves, PathsLongerThanTotalLengthCanHoldAreRefused)
{
    ASSERT_EQ(KORVA3_INTP_CIRCLE02(0, 1, 683565275, 0, 1, 2040, 0), 1u);
    EXPECT_EQ(lib("total_length"), 4294967292u);
    EXPECT_EQ(KORVA3_INTP_CIRCLE02(0, 1, 683565276, 0, 1, 2040, 0), 0u);
    EXPECT_EQ(KORVA3_INTP_ARC02(0, 1, 0, 0, -683565276, 1, 2040, 0), 0u);
    KORVA3_INTP_CIRCLE(0, INT32_MIN, INT32_MIN, 0, 2040);
    EXPECT_TRUE(take_frames().empty());
}

TEST_F(Curves, PlanesRouteTheTwoAxes)
{
    KORVA3_INTP_CIRCLE01(0, 1, 100, 0, 1, 50);
    auto xy = take_slices();
    KORVA3_INTP_CIRCLE01(0, 2, 100, 0, 1, 50);
    auto xz = take_slices();
    KORVA3_INTP_CIRCLE01(0, 3, 100, 0, 1, 50);
    auto yz = take_slices();
    ASSERT_EQ(xy.size(), xz.size());
    ASSERT_EQ(xy.size(), yz.size());
    for (size_t i = 0; i < xy.size(); i++) {
        EXPECT_EQ(xz[i], (Slice{xy[i].x, 0, xy[i].y}));
        EXPECT_EQ(yz[i], (Slice{0, xy[i].x, xy[i].y}));
    }
    KORVA3_INTP_CIRCLE01(0, 4, 100, 0, 1, 50);
    KORVA3_INTP_ARC01(0, 0, 100, 0, 100, 1, 50);
    EXPECT_TRUE(take_frames().empty());
    EXPECT_EQ(lib("phase"), PHASE_FINISHED); // the profile ran out all the same
}

TEST_F(Curves, BlockingSpeedsAboveTheCeilingRunAtTheCeiling)
{
    KORVA3_INTP_CIRCLE(0, 20000, 5000, 0, 2040);
    auto reference = take_slices();
    for (uint32_t speed : {5000u, 0xFFFFFFFFu}) {
        KORVA3_INTP_CIRCLE(0, 20000, 5000, 0, speed);
        EXPECT_EQ(take_slices(), reference);
    }
}

TEST_F(Curves, StepwiseCurvesClampTheirSpeedSoNoSliceIsRefused)
{
    ASSERT_EQ(KORVA3_INTP_CIRCLE02(0, 1, 30000, 0, 1, 5000, 1), 1u);
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    auto slices = take_slices();
    Sum s = sum_slices(slices);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 0);
    for (const Slice &p : slices)
        ASSERT_LE(std::abs(p.x) + std::abs(p.y), 2 * 2047);
    EXPECT_GT(slices.size(), 188000u / 2040u);
}

TEST_F(Curves, AnArcDirectionOtherThanZeroOrOneIsCounterClockwise)
{
    KORVA3_INTP_ARC(0, 700, 300, 600, 1, 40);
    auto one = take_slices();
    for (uint32_t dir : {2u, 255u, 0x100u + 1u}) {
        KORVA3_INTP_ARC(0, 700, 300, 600, dir, 40);
        EXPECT_EQ(take_slices(), one) << dir;
    }
    KORVA3_INTP_ARC(0, 700, 300, 600, 0x100, 40); // low byte 0: clockwise
    EXPECT_NE(take_slices(), one);
}

} // namespace
