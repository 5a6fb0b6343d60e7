/*
 * commands_test.cpp - configuration and motion commands: call -> the 13-byte frame the
 * card received (or nothing), what the card understood, and the stepwise request each
 * call ends or leaves alone.
 */
#include "sim_fixture.h"

#include <functional>
#include <optional>

namespace {

using P = std::array<uint8_t, 8>;

struct CommandCase {
    const char *call;
    std::function<void()> run;
    std::optional<uint8_t> cmd; // nothing sent when empty
    P params;
};

std::ostream &operator<<(std::ostream &os, const CommandCase &c) { return os << c.call; }

const CommandCase COMMAND_CASES[] = {
    // configuration
    {"SET_CONTROL_MODE(0, 1, 2, 0x1FF)", [] { KORVA3_SET_CONTROL_MODE(0, 1, 2, 0x1FF); }, 0x21, {1, 2, 0xFF}},
    {"SET_VAR(0, 0, 0, 0, 0, 7)", [] { KORVA3_SET_VAR(0, 0, 0, 0, 0, 7); }, 0x22, {1, 1, 0x00, 0x01, 0x00, 0x01}},
    {"SET_VAR(0, 255, 251, 501, 3000, 0)", [] { KORVA3_SET_VAR(0, 255, 251, 501, 3000, 0); }, 0x22, {254, 250, 0x01, 0xF4, 0x07, 0xF8}},
    {"SET_VAR(0, 10, 2, 300, 100, 30)", [] { KORVA3_SET_VAR(0, 10, 2, 300, 100, 30); }, 0x22, {10, 2, 0x01, 0x2C, 0x01, 0x2C}},
    {"SET_VAR(0, 10, 256, 2, 100, 30)", [] { KORVA3_SET_VAR(0, 10, 256, 2, 100, 30); }, 0x22, {10, 1, 0x00, 0x02, 0x00, 0x64}},
    {"SET_VAR(0, 0x10A, 2, 2, 0xFFFFFFFF, 30)", [] { KORVA3_SET_VAR(0, 0x10A, 2, 2, 0xFFFFFFFF, 30); }, 0x22, {10, 2, 0x00, 0x02, 0x07, 0xF8}},
    {"SET_DEFDIR(0, 1, 0, 3)", [] { KORVA3_SET_DEFDIR(0, 1, 0, 3); }, 0x23, {0x05}},
    {"SET_SERVO_ON(0, 2, 1, 1)", [] { KORVA3_SET_SERVO_ON(0, 2, 1, 1); }, 0x24, {0x06}},
    {"SET_ZERO(0, 3)", [] { KORVA3_SET_ZERO(0, 3); }, 0x2A, {3}},
    {"SET_ZERO(0, 0)", [] { KORVA3_SET_ZERO(0, 0); }, std::nullopt, {}},
    {"SET_ZERO(0, 4)", [] { KORVA3_SET_ZERO(0, 4); }, std::nullopt, {}},
    {"SET_ZERO(0, 0x101)", [] { KORVA3_SET_ZERO(0, 0x101); }, 0x2A, {1}},
    {"PRESET_POSITION(0, 2, -2)", [] { KORVA3_PRESET_POSITION(0, 2, -2); }, 0x2B, {2, 0xFF, 0xFF, 0xFF, 0xFE}},
    {"PRESET_POSITION(0, 1, 123456)", [] { KORVA3_PRESET_POSITION(0, 1, 123456); }, 0x2B, {1, 0x00, 0x01, 0xE2, 0x40}},
    {"PRESET_POSITION(0, 4, 5)", [] { KORVA3_PRESET_POSITION(0, 4, 5); }, std::nullopt, {}},
    {"SET_NC(0, 0x1234)", [] { KORVA3_SET_NC(0, 0x1234); }, 0x2C, {0x34}},
    // motion
    {"PULSE_MOVE(0, 1, -100000, 5000)", [] { KORVA3_PULSE_MOVE(0, 1, -100000, 5000); }, 0x03, {0x11, 0x00, 0x01, 0x86, 0xA0, 0x07, 0xF8}},
    {"PULSE_MOVE(0, 2, 0, 1)", [] { KORVA3_PULSE_MOVE(0, 2, 0, 1); }, 0x03, {0x12, 0, 0, 0, 0, 0x00, 0x01}},
    {"PULSE_MOVE(0, 3, 258, 2040)", [] { KORVA3_PULSE_MOVE(0, 3, 258, 2040); }, 0x03, {0x03, 0, 0, 0x01, 0x02, 0x07, 0xF8}},
    {"PULSE_MOVE(0, 1, INT32_MIN, 0xFFFFFFFF)", [] { KORVA3_PULSE_MOVE(0, 1, INT32_MIN, 0xFFFFFFFF); }, 0x03, {0x11, 0x80, 0, 0, 0, 0x07, 0xF8}},
    {"PULSE_MOVE(0, 5, 1, 10)", [] { KORVA3_PULSE_MOVE(0, 5, 1, 10); }, 0x03, {0x01, 0, 0, 0, 1, 0, 10}},
    {"PULSE_MOVE(0, 1, 100, 0)", [] { KORVA3_PULSE_MOVE(0, 1, 100, 0); }, std::nullopt, {}},
    {"CONSTANT_SPEED(0, 3, 1, 2041)", [] { KORVA3_CONSTANT_SPEED(0, 3, 1, 2041); }, 0x04, {0x13, 0x07, 0xF8}},
    {"CONSTANT_SPEED(0, 1, 2, 300)", [] { KORVA3_CONSTANT_SPEED(0, 1, 2, 300); }, 0x04, {0x01, 0x01, 0x2C}},
    {"CONSTANT_SPEED(0, 1, 1, 0)", [] { KORVA3_CONSTANT_SPEED(0, 1, 1, 0); }, std::nullopt, {}},
    {"BACK_HOME(0, 5, 0xA1, 0x1B2)", [] { KORVA3_BACK_HOME(0, 5, 0xA1, 0x1B2); }, 0x01, {1, 0xA1, 0xB2}},
    {"BACK_HOME(0, 4, 1, 2)", [] { KORVA3_BACK_HOME(0, 4, 1, 2); }, 0x01, {0, 1, 2}},
    {"BACK_HOME01(0, 2, 7)", [] { KORVA3_BACK_HOME01(0, 2, 7); }, 0x02, {2, 7}},
    {"STOP(0, 2)", [] { KORVA3_STOP(0, 2); }, 0x31, {2}},
    {"STOP(0, 0)", [] { KORVA3_STOP(0, 0); }, std::nullopt, {}},
    {"STOP(0, 4)", [] { KORVA3_STOP(0, 4); }, std::nullopt, {}},
    {"DEC_STOP(0, 3)", [] { KORVA3_DEC_STOP(0, 3); }, 0x33, {3}},
    {"DEC_STOP(0, 255)", [] { KORVA3_DEC_STOP(0, 255); }, std::nullopt, {}},
};

class CommandFrames : public SimTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CommandFrames, SendTheirFrameOrNothingAndEndTheStepwiseRequest)
{
    const CommandCase &c = GetParam();
    register_card();
    KORVA3_SET_NC(0, 0);          // seq 4, link_waited 0
    KSIM_HOLD(0, 0);
    KORVA3_SET_NC(0, 0);          // seq 5, link_waited 1
    ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, 100, 100, 10, 0), 1u); // a saved request
    take_frames();

    c.run();

    EXPECT_EQ(lib("step_mode"), 0u) << "every command ends a saved request";
    auto frames = take_frames();
    if (c.cmd) {
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0], make_frame(*c.cmd, c.params, 6));
        EXPECT_EQ(lib("seq"), 6u);
        EXPECT_EQ(lib("link_waited"), 0u);
    } else {
        EXPECT_TRUE(frames.empty());
        EXPECT_EQ(lib("seq"), 5u);         // a refused call leaves seq
        EXPECT_EQ(lib("link_waited"), 1u); // and link_waited as they were
    }
    EXPECT_EQ(KSIM_BAD_COMMANDS(0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, CommandFrames, ::testing::ValuesIn(COMMAND_CASES));

struct SliceCase {
    int x, y, z;
    std::optional<P> params;
};

TEST_F(SimTest, InterpolationSliceWordsAreSignMagnitude)
{
    register_card();
    const SliceCase cases[] = {
        {-2047, 2047, 0, P{0x87, 0xFF, 0x07, 0xFF, 0x00, 0x00}},
        {-1, 300, -300, P{0x80, 0x01, 0x01, 0x2C, 0x81, 0x2C}},
        {0, 0, 0, P{}},
        {2048, 0, 0, std::nullopt},
        {0, -2048, 0, std::nullopt},
        {0, 0, 2048, std::nullopt},
        {INT32_MIN, 0, 0, std::nullopt},
        {0, INT32_MAX, 0, std::nullopt},
    };
    ASSERT_EQ(KORVA3_INTP_LINE02(0, 1, 100, 100, 10, 0), 1u);
    uint8_t seq = 3;
    for (const SliceCase &c : cases) {
        KORVA3_INTP_PULSE(0, c.x, c.y, c.z);
        auto frames = take_frames();
        if (c.params) {
            ASSERT_EQ(frames.size(), 1u);
            EXPECT_EQ(frames[0], make_frame(0x10, *c.params, ++seq));
        } else {
            EXPECT_TRUE(frames.empty()) << c.x << " " << c.y << " " << c.z;
        }
    }
    EXPECT_EQ(lib("step_mode"), 2u) << "a slice leaves the stepwise request alone";
}

TEST_F(SimTest, SpeedParametersAreKeptAfterTheFrameForEveryCard)
{
    add_card(0, 9, 1);
    register_card();
    ASSERT_EQ(KORVA3_REGISTRATION(3, 1), 1u);
    KORVA3_SET_VAR(3, 0, 300, 600, 10, 0xDEADBEEF);
    EXPECT_EQ(lib("card_var"), 1u);
    EXPECT_EQ(lib("accel"), 44u); // low byte of 300
    EXPECT_EQ(lib("start_speed"), 500u);
    EXPECT_EQ(lib("high_speed"), 500u);
    EXPECT_EQ(lib("spare_var"), 0xDEADBEEFu);
    // ... and they shape card 0's interpolation: a 100-pulse line is short (< 4 x 500)
    // and goes in one slice of 100.
    take_frames();
    KORVA3_INTP_LINE(0, 100, 0, 2040);
    EXPECT_EQ(take_slices(), (std::vector<Slice>{{100, 0, 0}}));
}

TEST_F(SimTest, TheCardUnderstandsWhatItWasTold)
{
    register_card();
    KORVA3_SET_CONTROL_MODE(0, 3, 4, 5);
    KORVA3_SET_VAR(0, 20, 5, 10, 1500, 0);
    KORVA3_SET_DEFDIR(0, 1, 0, 1);
    KORVA3_SET_SERVO_ON(0, 0, 1, 1);
    KORVA3_SET_NC(0, 9);
    KORVA3_PRESET_POSITION(0, 2, -77);
    KORVA3_PULSE_MOVE(0, 3, -500, 100);
    KORVA3_CONSTANT_SPEED(0, 1, 1, 250);
    KORVA3_BACK_HOME(0, 2, 4, 5);
    KORVA3_INTP_PULSE(0, 7, -8, 9);
    KORVA3_INTP_PULSE(0, 1, 1, 1);
    struct {
        const char *name;
        uint32_t axis;
        int32_t value;
    } expected[] = {
        {"mode", 1, 3},          {"mode", 3, 5},          {"card_var", 0, 20},
        {"accel", 0, 5},         {"start_speed", 0, 10},  {"high_speed", 0, 1500},
        {"defdir", 1, 1},        {"defdir", 2, 0},        {"servo_on", 1, 0},
        {"servo_on", 3, 1},      {"nc", 0, 9},            {"last_cmd", 3, 3},
        {"last_pulses", 3, -500}, {"last_speed", 3, 100}, {"last_cmd", 1, 4},
        {"last_dir", 1, 1},      {"last_speed", 1, 250},  {"last_cmd", 2, 1},
        {"last_home1", 2, 4},    {"last_home2", 2, 5},    {"intp_frames", 0, 2},
    };
    for (const auto &e : expected)
        EXPECT_EQ(KSIM_CARD_VALUE(0, e.name, e.axis), e.value) << e.name << " " << e.axis;
    EXPECT_EQ(KSIM_AXIS_PULSES(0, 1), 8);
    EXPECT_EQ(KSIM_AXIS_PULSES(0, 2), -7);
    EXPECT_EQ(KSIM_AXIS_PULSES(0, 3), 10);
}

} // namespace
