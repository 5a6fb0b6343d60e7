/*
 * sinks_test.cpp - watching a card as it runs (KSIM_SET_SINKS): every executed command
 * and every change of position reaches the sinks, in order, with what caused it, and
 * the logs they replace stay empty.
 */
#include <vector>

#include "sim_fixture.h"

namespace {

struct Seen {
    std::vector<Frame> frames;
    struct Move {
        uint64_t t_us;
        int32_t x, y, z;
        uint32_t by;
    };
    std::vector<Move> moves;
};

void KORVA3_CALL on_frame(void *user, int32_t index, const uint8_t *f)
{
    EXPECT_EQ(index, 0);
    Frame copy;
    std::copy(f, f + 13, copy.begin());
    static_cast<Seen *>(user)->frames.push_back(copy);
}

void KORVA3_CALL on_move(void *user, int32_t, uint64_t t_us, int32_t x, int32_t y, int32_t z,
                         uint32_t by)
{
    static_cast<Seen *>(user)->moves.push_back({t_us, x, y, z, by});
}

TEST(Sinks, SeeEveryCommandAndPositionWithItsCause)
{
    KSIM_RESET();
    ASSERT_EQ(add_card(0, 1, 0), 0);
    Seen seen;
    KSIM_SET_SINKS(on_frame, on_move, &seen);
    KORVA3_INITIAL();
    ASSERT_EQ(KORVA3_REGISTRATION(0, 0), 1u);
    KORVA3_SET_VAR(0, 10, 10, 10, 100, 0);
    KORVA3_INTP_LINE(0, 3000, 4000, 100);     // slices
    KORVA3_WAIT_X(0);
    KORVA3_WAIT_Y(0);
    KORVA3_PULSE_MOVE(0, 3, 500, 20);         // single-axis motion
    KORVA3_WAIT_Z(0);
    KORVA3_PRESET_POSITION(0, 1, 100);        // new coordinates: no motion
    KSIM_SET_SINKS(nullptr, nullptr, nullptr);

    size_t slices = 0;
    for (const Frame &f : seen.frames)
        slices += f[2] == 0x10;
    EXPECT_EQ(slices, uint32_t(KSIM_CARD_VALUE(0, "intp_frames", 0)));
    EXPECT_TRUE(take_frames().empty()); // the sink took them instead of the log
    int32_t records[4];
    EXPECT_EQ(KSIM_TAKE_MOTION(0, records, 1), 0u);

    ASSERT_GT(seen.moves.size(), slices);
    size_t by_slice = 0, by_axis = 0;
    for (size_t i = 0; i < seen.moves.size(); i++) {
        by_slice += seen.moves[i].by == KSIM_MOVED_BY_SLICE;
        by_axis += seen.moves[i].by == KSIM_MOVED_BY_AXIS;
        if (i > 0) {
            EXPECT_GE(seen.moves[i].t_us, seen.moves[i - 1].t_us);
        }
    }
    EXPECT_EQ(by_slice, slices);
    EXPECT_GE(by_axis, 25u); // 500 pulses at no more than 20 pulses per ms
    const Seen::Move &last = seen.moves.back();
    EXPECT_EQ(last.by, uint32_t(KSIM_MOVED_BY_ORIGIN));
    EXPECT_EQ(last.x, 100);
    EXPECT_EQ(last.y, 4000);
    EXPECT_EQ(last.z, 500);
}

} // namespace
