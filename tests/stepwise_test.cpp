/*
 * stepwise_test.cpp - stepwise requests: set-up sends nothing, run calls send batches
 * that end at the first frame the card held up, clearing commands end a request, the
 * status poll pumps it, and the speed can change on line.
 */
#include "sim_fixture.h"

namespace {

/* The card holds up byte `byte` of frame `frame` (counting from 0) of the next frames. */
void hold_frame(uint32_t frame, uint32_t byte = 25) { KSIM_HOLD(0, 26 * frame + byte); }

class Stepwise : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        register_card();
    }
};

TEST_F(Stepwise, AnEmptyRequestIsNoRequest)
{
    EXPECT_EQ(KORVA3_INTP_XYZ02(0, 0, 0, 0, 10, 0), 0u);
    EXPECT_EQ(lib("step_mode"), 0u);
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    EXPECT_TRUE(take_frames().empty());
}

TEST_F(Stepwise, ARunCallSendsUntilThePathEnds)
{
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 3, 4, 10, 0), 1u);
    EXPECT_TRUE(take_frames().empty());
    EXPECT_EQ(lib("engine_phase"), ENGINE_RUNNING);
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{1, 1, 0}, {1, 2, 0}, {1, 1, 0}}));
    EXPECT_EQ(lib("engine_phase"), ENGINE_SETUP);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    EXPECT_TRUE(take_frames().empty());
}

TEST_F(Stepwise, ARunCallReturnsAtTheFirstFrameTheCardHeldUp)
{
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 3, 4, 10, 0), 1u);
    hold_frame(1, 4); // during the second frame
    EXPECT_EQ(KORVA3_INTP_STOP(), 1u);
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{1, 1, 0}, {1, 2, 0}}));
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{1, 1, 0}}));
}

TEST_F(Stepwise, ConstantStepGoesInOneSlice)
{
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 3, 4, 10, 1), 1u);
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{3, 4, 0}}));
}

TEST_F(Stepwise, ClearingCommandsEndTheRequest)
{
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 300, 400, 10, 0), 1u);
    hold_frame(0);
    EXPECT_EQ(KORVA3_INTP_STOP(), 1u);
    take_frames();
    KORVA3_SET_VAR(0, 10, 2, 2, 100, 30);
    take_frames();
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    EXPECT_TRUE(take_frames().empty());
    EXPECT_EQ(lib("engine_phase"), ENGINE_SETUP);
}

TEST_F(Stepwise, ANewRequestReplacesTheSavedOne)
{
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 300, 400, 10, 0), 1u);
    hold_frame(1);
    EXPECT_EQ(KORVA3_INTP_STOP(), 1u);
    take_frames();
    EXPECT_EQ(KORVA3_INTP_XYZ02(0, 0, 0, 8, 4, 0), 1u); // starts again from step 0
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{0, 0, 2}, {0, 0, 4}, {0, 0, 2}}));
}

TEST_F(Stepwise, TheStatusPollPumpsTheRequestOfTheSavedCard)
{
    ASSERT_EQ(add_card(0, 8, 4), 1);
    ASSERT_EQ(KORVA3_REGISTRATION(1, 4), 1u);
    take_frames(1);
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 300, 400, 10, 0), 1u);
    hold_frame(1);
    KORVA3_GET_CARD(1); // polling card 1 drives card 0's request
    EXPECT_EQ(take_slices(0).size(), 2u);
    EXPECT_TRUE(take_frames(1).empty());
    EXPECT_EQ(lib("step_mode"), 2u);
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    EXPECT_FALSE(take_slices(0).empty());
}

TEST_F(Stepwise, AStatusPollOnACardWithoutLinkDoesNotPump)
{
    ASSERT_EQ(add_card(0, 8, 4), 1);
    KSIM_SET_LINK(1, 0);
    ASSERT_EQ(KORVA3_REGISTRATION(1, 4), 0u);
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 300, 400, 10, 0), 1u);
    EXPECT_EQ(KORVA3_GET_CARD(1), 0u);
    EXPECT_TRUE(take_frames(0).empty());
    EXPECT_EQ(lib("step_mode"), 2u);
}

TEST_F(Stepwise, LoweringTheCapWhileCruisingFallsByAccelPerSlice)
{
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 10000, 0, 50, 0), 1u);
    hold_frame(29); // 25 slices of ramp (2..50), then cruise
    EXPECT_EQ(KORVA3_INTP_STOP(), 1u);
    auto first = take_slices();
    ASSERT_EQ(first.size(), 30u);
    EXPECT_EQ(first.back().x, 50);
    hold_frame(19);
    EXPECT_EQ(KORVA3_INTP_ONLINE_SETSPEED(20), 1u);
    std::vector<int> steps;
    for (const Slice &s : take_slices())
        steps.push_back(s.x);
    std::vector<int> expected;
    for (int step = 48; step >= 20; step -= 2)
        expected.push_back(step);
    while (expected.size() < 20)
        expected.push_back(20);
    EXPECT_EQ(steps, expected);
    // the constant profile takes a new cap at once
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 10000, 0, 50, 1), 1u);
    hold_frame(0);
    KORVA3_INTP_STOP();
    hold_frame(0);
    KORVA3_INTP_ONLINE_SETSPEED(7);
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{50, 0, 0}, {7, 0, 0}}));
}

TEST_F(Stepwise, ANewCapHasNoEffectOnceTheRampDownHasBegun)
{
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 100, 0, 10, 0), 1u);
    hold_frame(9); // the 10th slice is the first of the ramp down (9)
    KORVA3_INTP_STOP();
    take_slices();
    EXPECT_EQ(lib("decelerating"), 1u);
    KORVA3_INTP_ONLINE_SETSPEED(2000);
    std::vector<int> steps;
    for (const Slice &s : take_slices())
        steps.push_back(s.x);
    EXPECT_EQ(steps, (std::vector<int>{8, 6, 4, 2, 1}));
}

TEST_F(Stepwise, SpeedZeroIsRefusedAndANewCapOfZeroCrawls)
{
    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 100, 0, 0, 0), 0u);
    EXPECT_EQ(KORVA3_INTP_CIRCLE02(0, 1, 100, 0, 1, 0, 0), 0u);
    EXPECT_EQ(lib("step_mode"), 0u);
    EXPECT_TRUE(take_frames().empty());

    EXPECT_EQ(KORVA3_INTP_LINE02(0, 1, 1000, 0, 20, 1), 1u);
    hold_frame(0);
    KORVA3_INTP_STOP();
    hold_frame(0);
    EXPECT_EQ(KORVA3_INTP_ONLINE_SETSPEED(0), 1u); // taken as 1: a crawl, not a stall
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{20, 0, 0}, {1, 0, 0}}));
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    int sum = 0;
    for (const Slice &s : take_slices())
        sum += s.x;
    EXPECT_EQ(sum, 1000 - 21); // every pulse of the path arrives
}

TEST_F(Stepwise, SetSpeedWithoutARequestStoresTheSpeedAndReturnsZero)
{
    EXPECT_EQ(KORVA3_INTP_ONLINE_SETSPEED(33), 0u);
    EXPECT_EQ(lib("engine_phase"), ENGINE_SETUP);
    EXPECT_TRUE(take_frames().empty());
}

TEST_F(Stepwise, BlockingCallsEndAStepwiseRequest)
{
    EXPECT_EQ(KORVA3_INTP_CIRCLE02(0, 1, 100, 0, 1, 50, 0), 1u);
    KORVA3_INTP_LINE(0, 3, 4, 10);
    EXPECT_EQ(lib("step_mode"), 0u);
    take_frames();
    EXPECT_EQ(KORVA3_INTP_STOP(), 0u);
    EXPECT_TRUE(take_frames().empty());
}

} // namespace
