/*
 * status_test.cpp - status frames: the sync pair across calls, the XOR check,
 * big-endian values, several frames per call, frames that stop part-way.
 */
#include "sim_fixture.h"

namespace {

/* A 32-byte status frame with the given system byte and six values, check byte set. */
Bytes status_frame(uint8_t sys, std::array<int32_t, 6> values, uint8_t limit = 0,
                   uint8_t p1 = 0)
{
    Bytes f(32, 0);
    f[0] = sys;
    f[1] = limit;
    f[2] = p1;
    f[3] = 0xB3;
    for (int i = 0; i < 6; i++) {
        uint32_t v = (uint32_t)values[i];
        for (int b = 0; b < 4; b++)
            f[7 + 4 * i + b] = (uint8_t)(v >> (24 - 8 * b));
    }
    uint8_t x = 0;
    for (int i = 0; i < 31; i++)
        x ^= f[i];
    f[31] = x;
    return f;
}

Bytes with_sync(Bytes frame)
{
    frame.insert(frame.begin(), {0x55, 0xAA});
    return frame;
}

void offer(const Bytes &b) { KSIM_OFFER(0, b.data(), (uint32_t)b.size()); }

std::array<int32_t, 6> readers()
{
    return {KORVA3_GET_XC(0), KORVA3_GET_XP(0), KORVA3_GET_YC(0),
            KORVA3_GET_YP(0), KORVA3_GET_ZC(0), KORVA3_GET_ZP(0)};
}

class Status : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        register_card();
    }
};

TEST_F(Status, ReadersAreZeroBeforeTheFirstGoodFrame)
{
    EXPECT_EQ(KORVA3_GET_CARD(0), 0x02u); // TX ready, nothing waiting
    EXPECT_EQ(KORVA3_GET_SYS(0), 0u);
    EXPECT_EQ(KORVA3_GET_LIMIT(0), 0u);
    EXPECT_EQ(KORVA3_GET_P1(0), 0u);
    EXPECT_EQ(readers(), (std::array<int32_t, 6>{}));
}

TEST_F(Status, ValuesAreBigEndianAndSigned)
{
    Bytes f = status_frame(0x81, {-2, 100000, INT32_MIN, INT32_MAX, 1, -1}, 0x3C, 0xFE);
    EXPECT_EQ((Bytes{f[7], f[8], f[9], f[10]}), (Bytes{0xFF, 0xFF, 0xFF, 0xFE}));
    EXPECT_EQ((Bytes{f[11], f[12], f[13], f[14]}), (Bytes{0x00, 0x01, 0x86, 0xA0}));
    offer(Bytes{0x12});
    offer(with_sync(f));
    uint32_t st = KORVA3_GET_CARD(0);
    EXPECT_EQ(st & 0x04, 0u);
    EXPECT_EQ(KORVA3_GET_SYS(0), 0x81u);
    EXPECT_EQ(KORVA3_GET_LIMIT(0), 0x3Cu);
    EXPECT_EQ(KORVA3_GET_P1(0), 0xFEu);
    EXPECT_EQ(readers(), (std::array<int32_t, 6>{-2, 100000, INT32_MIN, INT32_MAX, 1, -1}));
    EXPECT_EQ(lib("rx_last"), 0xAAu);
    EXPECT_EQ(lib("rx_prev"), 0xAAu);
}

TEST_F(Status, ASyncPairSplitAcrossTwoCallsIsFound)
{
    offer(Bytes{0x01, 0x55});
    KORVA3_GET_CARD(0);
    EXPECT_EQ(lib("rx_last"), 0x55u);
    offer(Bytes{0xAA});
    offer(status_frame(7, {1, 2, 3, 4, 5, 6}));
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_SYS(0), 7u);
    EXPECT_EQ(readers(), (std::array<int32_t, 6>{1, 2, 3, 4, 5, 6}));
}

TEST_F(Status, BadFramesAreDroppedAndTheLastGoodOneStays)
{
    offer(with_sync(status_frame(1, {1, 1, 1, 1, 1, 1})));
    Bytes bad = status_frame(2, {2, 2, 2, 2, 2, 2});
    bad[31] ^= 0x01;
    offer(with_sync(bad));
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_SYS(0), 1u);
    EXPECT_EQ(readers(), (std::array<int32_t, 6>{1, 1, 1, 1, 1, 1}));

    // Several frames in one call: the last good one remains. A bad frame's own bytes are
    // not searched for a sync pair (this one hides 55 AA inside).
    Bytes hiding = status_frame(3, {0x55AA0000, 3, 3, 3, 3, 3});
    hiding[31] ^= 0xFF;
    offer(with_sync(status_frame(4, {4, 4, 4, 4, 4, 4})));
    offer(with_sync(hiding));
    offer(with_sync(status_frame(5, {5, 5, 5, 5, 5, 5})));
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_SYS(0), 5u);
    EXPECT_EQ(readers(), (std::array<int32_t, 6>{5, 5, 5, 5, 5, 5}));
}

TEST_F(Status, AFrameThatStopsPartWayIsDroppedWithoutHanging)
{
    Bytes f = with_sync(status_frame(9, {9, 9, 9, 9, 9, 9}));
    f.resize(2 + 20); // the controller goes quiet after 20 of the 32 bytes
    offer(f);
    uint32_t before = KSIM_CLOCK_MS();
    uint32_t st = KORVA3_GET_CARD(0);
    uint32_t waited = KSIM_CLOCK_MS() - before;
    EXPECT_EQ(st & 0x04, 0u);
    EXPECT_GE(waited, 5u);
    EXPECT_LE(waited, 7u);
    EXPECT_EQ(KORVA3_GET_SYS(0), 0u);
    // The search starts afresh: the next whole frame is taken.
    offer(with_sync(status_frame(6, {6, 6, 6, 6, 6, 6})));
    KORVA3_GET_CARD(0);
    EXPECT_EQ(KORVA3_GET_SYS(0), 6u);
}

TEST_F(Status, ReadersNeverTouchTheCard)
{
    offer(with_sync(status_frame(1, {1, 2, 3, 4, 5, 6})));
    take_reads();
    KORVA3_GET_SYS(0);
    KORVA3_GET_XC(0);
    KORVA3_GET_ZP(0);
    EXPECT_TRUE(take_reads().empty());
    EXPECT_EQ(KORVA3_GET_SYS(0), 0u); // nothing taken until KORVA3_GET_CARD
}

TEST_F(Status, RegistrationDoesNotResetTheStoredStatus)
{
    offer(with_sync(status_frame(1, {1, 2, 3, 4, 5, 6})));
    KORVA3_GET_CARD(0);
    ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    EXPECT_EQ(KORVA3_GET_SYS(0), 1u);
    EXPECT_EQ(KORVA3_GET_ZP(0), 6);
}

TEST(StatusNoLink, GetCardOnACardWhoseLinkTestFailedDoesNothing)
{
    bind_card_without_link();
    Bytes f = with_sync(status_frame(1, {1, 2, 3, 4, 5, 6}));
    KSIM_OFFER(0, f.data(), (uint32_t)f.size());
    take_reads();
    EXPECT_EQ(KORVA3_GET_CARD(0), 0u);
    EXPECT_TRUE(take_reads().empty());
    EXPECT_EQ(KORVA3_GET_SYS(0), 0u);
}

} // namespace
