// path_thinner_test.cpp - the thinned path of a long job stays within its budget and
// never draws a line that was not travelled, however often the axes get new
// coordinates (a job that zeroes or presets them once per part).
#include <gtest/gtest.h>

#include "record/path_thinner.h"

using namespace korva3_tool;

TEST(PathThinner, NewCoordinatesPerPartKeepThePathBoundedAndBroken)
{
    const struct {
        int parts;         // each: new coordinates, then a line of 10 steps
        size_t max_points;       // the thinner's budget
    } cases[] = {{50, 12000}, {7000, 12000}, {100000, 12000}, {300, 40}, {3, 8}};
    for (const auto &c : cases) {
        PathThinner thinner(c.max_points);
        thinner.add({0, 0, 0, 0});
        for (int part = 0; part < c.parts; part++) {
            const uint32_t t0 = 100 * static_cast<uint32_t>(part) + 1;
            thinner.add({t0, -part, 7 * part, 0, true}); // zero or preset: a jump
            for (int32_t i = 1; i <= 10; i++)
                thinner.add({t0 + static_cast<uint32_t>(i), -part + 1000 * i, 7 * part + 500 * i, 0});
        }
        const std::vector<MotionRecord> path = thinner.points();
        ASSERT_LE(path.size(), c.max_points + 1) << c.parts;
        // First and last exact; every segment drawn lies within one part's line.
        EXPECT_EQ(path.front().t_ms, 0u);
        EXPECT_EQ(path.back().t_ms, 100u * uint32_t(c.parts - 1) + 11) << c.parts;
        EXPECT_EQ(path.back().x, 10000 - (c.parts - 1));
        for (size_t k = 1; k < path.size(); k++) {
            if (path[k].jump)
                continue;
            EXPECT_EQ((path[k].t_ms - 1) / 100, (path[k - 1].t_ms - 1) / 100)
                << c.parts << " parts: a line from t " << path[k - 1].t_ms << " to "
                << path[k].t_ms << " was never travelled";
        }
        EXPECT_EQ(thinner.low()[0], -(c.parts - 1));
        EXPECT_EQ(thinner.high()[1], 7 * (c.parts - 1) + 5000);
    }
}
