// Tests that a plot stays small however long the job: paths of millions of positions
// (a big circle, a raster that turns back thousands of times, a random walk) are thinned
// to the picture's resolution and still end exactly where the card ended.
#include "tool_fixture.h"

#include <cmath>
#include <random>

#include "plot/svg_plot.h"

using namespace korva3_tool;

namespace {

TEST(PlotSize, MillionsOfPositionsMakeAPlotUnderAMegabyte)
{
    const int n = 2000000;
    std::mt19937 random(12);
    const struct {
        const char *name;
        std::function<MotionRecord(int)> at;
    } shapes[] = {
        {"circle", [](int i) {
             double a = 2 * M_PI * i / n;
             return MotionRecord{uint32_t(i), int32_t(std::lround(500000 * std::cos(a))),
                                 int32_t(std::lround(500000 * std::sin(a))), 0};
         }},
        {"raster", [](int i) {
             int row = i / 1000, col = i % 1000;
             return MotionRecord{uint32_t(i), row % 2 ? 1000 - col : col, row, 0};
         }},
        {"random walk", [&random](int i) {
             static int32_t x = 0, y = 0, z = 0;
             x += int32_t(random() % 3) - 1;
             y += int32_t(random() % 3) - 1;
             z += int32_t(random() % 3) - 1;
             return MotionRecord{uint32_t(i), x, y, z};
         }},
    };
    for (const auto &shape : shapes) {
        PathThinner thinner;
        MotionRecord last{};
        for (int i = 0; i < n; i++)
            thinner.add(last = shape.at(i));
        Recording rec;
        rec.machine = "virtual card";
        rec.end_ms = n;
        CardTrace t;
        t.path = thinner.points();
        rec.cards.push_back(t);
        std::string svg = svg_plot(rec);
        EXPECT_LT(svg.size(), 1000000u) << shape.name;
        EXPECT_LE(t.path.size(), 12001u) << shape.name;
        EXPECT_EQ(t.path.back().x, last.x) << shape.name;
        EXPECT_EQ(t.path.back().y, last.y) << shape.name;
        std::string end = "data-end=\"" + std::to_string(last.x) + "," + std::to_string(last.y);
        EXPECT_NE(svg.find(end), std::string::npos) << shape.name;
    }
}

} // namespace
