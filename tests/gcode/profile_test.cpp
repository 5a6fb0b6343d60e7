// profile_test.cpp - the slices a path takes, as --check counts them: the same count as
// the library's profile stepped slice by slice, for paths of any length at once.
#include <gtest/gtest.h>

#include <string>

#include "gcode/profile.h"
#include "gcode/program.h"

using namespace korva3_gcode;

namespace {

// The library's trapezoid stepped one slice at a time (see profile.h).
uint64_t stepped_slices(uint64_t length, uint64_t cap, uint64_t a, uint64_t s)
{
    uint64_t remaining = length, step = 0, n = 0;
    bool down = false;
    for (;;) {
        n++;
        if (length < 4 * s) {
            if (remaining < s)
                return n;
            step = s;
        } else if (down || remaining <= (step + a) * (step + a) / (2 * a)) {
            down = true;
            uint64_t q = step * step / (2 * remaining);
            step = step - q < a || q > step ? a : step - q;
        } else if (step < cap) {
            step = step + a < cap ? step + a : cap;
        }
        if (remaining <= step)
            return n;
        remaining -= step;
    }
}

} // namespace

TEST(GcodeProfile, SlicesAsTheLibrarysProfileStepsThem)
{
    const struct {
        uint32_t speed, accel, start_speed;
    } ramps[] = {{1, 10, 10}, {7, 1, 1}, {300, 10, 10}, {2040, 1, 1}, {2040, 250, 500},
                 {100, 3, 40}, {2040, 7, 13}};
    for (const auto &r : ramps)
        for (uint64_t length : {0ull, 1ull, 39ull, 40ull, 41ull, 4000ull, 123457ull, 2081000ull,
                                2081641ull, 9999991ull}) {
            EXPECT_EQ(profile_slices(length, r.speed, r.accel, r.start_speed),
                      stepped_slices(length, r.speed, r.accel, r.start_speed))
                << length << " pulses at " << r.speed << ", accel " << r.accel << ", start "
                << r.start_speed;
        }
}

TEST(GcodeProfile, LongSlowMovesAreCountedNotStepped)
{
    // 400 moves of 2e9 pulses at 1 pulse per slice: 2e9 - 5 slices each under the
    // default ramps (the last slice arrives at accel), 8e11 in all.
    std::string text = "G91 G1 F0.0001\n";
    for (int i = 0; i < 200; i++)
        text += "X2000000\nX-2000000\n";
    Program p;
    std::vector<std::string> errors;
    ASSERT_TRUE(read_program("t.ngc", text, Settings{}, p, errors));
    EXPECT_EQ(p.slices, 400 * (2000000000ull - 5));
}
