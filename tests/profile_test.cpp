/*
 * profile_test.cpp - the step generators, seen through the frames of a line along X:
 * there the ideal point is exactly the distance travelled, so each slice's X pulses are
 * that slice's step.
 */
#include "sim_fixture.h"

#include <numeric>

namespace {

struct ProfileCase {
    uint32_t accel, start_speed, max_step, total_length;
    std::vector<int> steps;
};

std::ostream &operator<<(std::ostream &os, const ProfileCase &c)
{
    return os << "a" << c.accel << "_s" << c.start_speed << "_max" << c.max_step << "_len"
              << c.total_length;
}

const ProfileCase PROFILE_CASES[] = {
    {2, 2, 10, 100, {2, 4, 6, 8, 10, 10, 10, 10, 10, 9, 8, 6, 4, 2, 1}},
    {2, 2, 10, 8, {2, 4, 2}},
    {2, 2, 10, 7, {2, 2, 2, 1}},
    {2, 2, 10, 1, {1}},
    {2, 10, 10, 39, {10, 10, 10, 9}},
    {2, 10, 10, 40, {2, 4, 6, 8, 7, 6, 4, 2, 1}},
    {5, 10, 50, 1000, {5,  10, 15, 20, 25, 30, 35, 40, 45, 50, 50, 50, 50, 50, 50, 50,
                       50, 50, 50, 46, 42, 38, 34, 29, 25, 20, 16, 11, 7,  5,  2}},
    // a short path ignores the cap, even one below start_speed
    {2, 10, 3, 25, {10, 10, 5}},
};

class Profile : public SimTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(Profile, TrapezoidStepsSliceBySlice)
{
    const ProfileCase &c = GetParam();
    register_card();
    KORVA3_SET_VAR(0, 10, c.accel, c.start_speed, 100, 30);
    take_frames();
    KORVA3_INTP_LINE(0, (int32_t)c.total_length, 0, c.max_step);
    std::vector<int> steps;
    for (const Slice &s : take_slices()) {
        EXPECT_EQ(s.y, 0);
        steps.push_back(s.x);
    }
    EXPECT_EQ(steps, c.steps);
    EXPECT_EQ(std::accumulate(steps.begin(), steps.end(), 0u), c.total_length);
    EXPECT_EQ(lib("phase"), PHASE_FINISHED);
    EXPECT_EQ(lib("remaining"), 0u);
    EXPECT_EQ(lib("travelled"), c.total_length);
}

INSTANTIATE_TEST_SUITE_P(Examples, Profile, ::testing::ValuesIn(PROFILE_CASES),
                         [](const auto &info) {
                             std::ostringstream os;
                             os << info.param;
                             return os.str();
                         });

TEST_F(SimTest, ConstantStepRunsAtTheCapUntilThePathRunsOut)
{
    register_card();
    ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, 25, 0, 10, 1), 1u);
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{10, 0, 0}, {10, 0, 0}, {5, 0, 0}}));
    EXPECT_EQ(lib("decelerating"), 0u);
}

TEST_F(SimTest, AZeroLengthPathTakesOneSliceOfStepZero)
{
    register_card();
    KORVA3_INTP_ARC(0, 0, 0, 500, 1, 10); // an arc back to its start point
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{0, 0, 0}}));
    EXPECT_EQ(lib("total_length"), 0u);
    EXPECT_EQ(lib("phase"), PHASE_FINISHED);
}

} // namespace
