/*
 * line_test.cpp - straight lines, blocking: the frames of the worked examples, planes,
 * speed clamping and the refusals.
 */
#include "sim_fixture.h"

#include <cmath>
#include <functional>

namespace {

struct LineCase {
    const char *name;
    std::function<void()> run;
    uint32_t total_length;
    std::vector<Slice> slices;
};

std::ostream &operator<<(std::ostream &os, const LineCase &c) { return os << c.name; }

const LineCase LINE_CASES[] = {
    {"LINE_3_4", [] { KORVA3_INTP_LINE(0, 3, 4, 10); }, 5, {{1, 1, 0}, {1, 2, 0}, {1, 1, 0}}},
    {"LINE_10_m5", [] { KORVA3_INTP_LINE(0, 10, -5, 10); }, 11,
     {{1, 0, 0}, {4, -2, 0}, {3, -2, 0}, {2, -1, 0}}},
    {"LINE01_YZ_m7_m7", [] { KORVA3_INTP_LINE01(0, 3, -7, -7, 3); }, 9,
     {{0, -1, -1}, {0, -2, -2}, {0, -1, -1}, {0, -3, -3}}},
    {"LINE_1_1", [] { KORVA3_INTP_LINE(0, 1, 1, 5); }, 1, {{1, 1, 0}}},
    {"XYZ_5_5_5", [] { KORVA3_INTP_XYZ(0, 5, 5, 5, 4); }, 8, {{1, 1, 1}, {2, 2, 2}, {2, 2, 2}}},
    {"LINE01_XZ_3_4", [] { KORVA3_INTP_LINE01(0, 2, 3, 4, 10); }, 5, {{1, 0, 1}, {1, 0, 2}, {1, 0, 1}}},
    {"LINE01_plane4", [] { KORVA3_INTP_LINE01(0, 4, 3, 4, 10); }, 5, {}},
    {"LINE01_plane257_is_1", [] { KORVA3_INTP_LINE01(0, 257, 3, 4, 10); }, 5,
     {{1, 1, 0}, {1, 2, 0}, {1, 1, 0}}},
};

class Lines : public SimTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(Lines, WorkedExamples)
{
    register_card();
    GetParam().run();
    EXPECT_EQ(take_slices(), GetParam().slices);
    EXPECT_EQ(lib("total_length"), GetParam().total_length);
    EXPECT_EQ(lib("phase"), PHASE_FINISHED);
}

INSTANTIATE_TEST_SUITE_P(Examples, Lines, ::testing::ValuesIn(LINE_CASES),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(SimTest, LineLengthIsTruncatedEuclidean)
{
    register_card();
    KORVA3_INTP_LINE(0, 1, 1, 5);
    EXPECT_DOUBLE_EQ(KSIM_LIB_DOUBLE("path_length"), std::sqrt(2.0));
    KORVA3_INTP_XYZ(0, 2, 3, 6, 10); // 7 exactly
    EXPECT_EQ(lib("total_length"), 7u);
}

TEST_F(SimTest, SpeedsAboveTheCeilingRunAtTheCeiling)
{
    register_card();
    KORVA3_INTP_LINE(0, 30000, 20000, 2040);
    auto reference = take_slices();
    for (uint32_t speed : {2041u, 5000u, 0xFFFFFFFFu}) {
        KORVA3_INTP_LINE(0, 30000, 20000, speed);
        EXPECT_EQ(take_slices(), reference) << speed;
        KORVA3_INTP_XYZ(0, 30000, 20000, 0, speed);
        EXPECT_EQ(take_slices(), reference) << speed;
    }
}

TEST_F(SimTest, EmptyLinesAndSpeedZeroSendNothing)
{
    register_card();
    ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, 100, 0, 10, 0), 1u);
    KORVA3_INTP_LINE(0, 0, 0, 10);
    EXPECT_EQ(lib("step_mode"), 0u);
    KORVA3_INTP_XYZ(0, 0, 0, 0, 10);
    KORVA3_INTP_LINE(0, 100, 100, 0);
    KORVA3_INTP_XYZ(0, 100, 100, 100, 0);
    KORVA3_INTP_CIRCLE(0, 100, 0, 1, 0);
    KORVA3_INTP_ARC(0, 100, 0, 100, 1, 0);
    EXPECT_TRUE(take_frames().empty());
}

} // namespace
