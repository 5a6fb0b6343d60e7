// Tests of the plot: a well-formed SVG whose paths end where the job's moves say, with
// the XZ and YZ views only when Z moved, and a speed profile.
#include "tool_fixture.h"

#include <cmath>
#include <set>

#include "job/demo_job.h"
#include "plot/svg_plot.h"
#include "xml_check.h"

using namespace korva3_tool;

namespace {

xml::Element parse_svg(const std::string &svg)
{
    xml::Element root;
    xml::Reader reader(svg);
    EXPECT_TRUE(reader.parse(root)) << reader.error();
    EXPECT_EQ(root.name, "svg");
    EXPECT_EQ(root.attr("xmlns"), "http://www.w3.org/2000/svg");
    return root;
}

std::vector<const xml::Element *> polylines(const xml::Element &root, const std::string &cls,
                                            const std::string &view = "")
{
    std::vector<const xml::Element *> out;
    root.find_all(
        [&](const xml::Element &e) {
            return e.name == "polyline" && e.attr("class") == cls &&
                   (view.empty() || e.attr("data-view") == view);
        },
        out);
    return out;
}

std::vector<std::pair<double, double>> points_of(const xml::Element &e,
                                                 const std::string &attr = "points")
{
    std::vector<std::pair<double, double>> out;
    std::istringstream in(e.attr(attr));
    std::string pair;
    while (in >> pair) {
        size_t comma = pair.find(',');
        out.push_back({std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1))});
    }
    return out;
}

// Where the job's relative moves of card 0 add up to, from its parsed steps.
std::array<long, 3> sum_of_moves(const std::string &text)
{
    Job job;
    std::vector<std::string> errors;
    EXPECT_TRUE(parse_job("t.job", text, job, errors));
    std::array<long, 3> p{0, 0, 0};
    // Plane 1 = X-Y, 2 = X-Z, 3 = Y-Z: the axes of u and v.
    auto add_plane = [&](int64_t plane, int64_t u, int64_t v) {
        int a = plane == 3 ? 1 : 0, b = plane == 1 ? 1 : 2;
        p[a] += u;
        p[b] += v;
    };
    for (const Step &s : job.steps) {
        if (s.verb != Verb::Call)
            continue;
        std::string n = s.function->name;
        const std::vector<int64_t> &a = s.args;
        if (n == "INTP_LINE" || n == "INTP_ARC")
            add_plane(1, a[1], a[2]);
        else if (n == "INTP_LINE01" || n == "INTP_ARC01" || n == "INTP_LINE02" ||
                 n == "INTP_ARC02")
            add_plane(a[1], a[2], a[3]);
        else if (n == "INTP_XYZ" || n == "INTP_XYZ02" || n == "INTP_PULSE")
            for (int i = 0; i < 3; i++)
                p[i] += a[1 + i];
        else if (n == "PULSE_MOVE")
            p[a[1] - 1] += a[2];
    }
    return p;
}

TEST(Plot, TheDemoIsWellFormedAndEndsWhereItsMovesSay)
{
    JobRun r = run_text(demo_job());
    ASSERT_EQ(r.code, EXIT_OK) << r.err;
    xml::Element svg = parse_svg(svg_plot(r.recording));
    std::array<long, 3> end = sum_of_moves(demo_job());
    EXPECT_EQ(end, (std::array<long, 3>{0, 12000, 0}));
    auto xy = polylines(svg, "path", "xy");
    ASSERT_EQ(xy.size(), 1u);
    ASSERT_GT(points_of(*xy[0]).size(), 100u);
    EXPECT_EQ(points_of(*xy[0], "data-start"), (std::vector<std::pair<double, double>>{{0, 0}}));
    EXPECT_EQ(points_of(*xy[0], "data-end"),
              (std::vector<std::pair<double, double>>{{double(end[0]), double(end[1])}}));
    // Plain SVG 1.1: page coordinates, a fixed stroke width, nothing scaled.
    EXPECT_EQ(xy[0]->attr("vector-effect"), "");
    EXPECT_EQ(xy[0]->attr("transform"), "");
    // Z did not move: the XY view only.
    EXPECT_TRUE(polylines(svg, "path", "xz").empty());
    EXPECT_TRUE(polylines(svg, "path", "yz").empty());
    // The speed profile: X and Y against time, within the run's time; marks at the lines
    // that defined paths (the stepwise arc's line 31, not the poll of line 32).
    auto speed = polylines(svg, "speed");
    ASSERT_EQ(speed.size(), 2u);
    EXPECT_EQ(speed[0]->attr("data-axis"), "x");
    EXPECT_EQ(speed[1]->attr("data-axis"), "y");
    std::vector<const xml::Element *> marks;
    svg.find_all([](const xml::Element &e) { return e.attr("class") == "mark"; }, marks);
    std::set<std::string> lines;
    for (const xml::Element *m : marks)
        lines.insert(m->attr("data-line"));
    EXPECT_TRUE(lines.count("31") && lines.count("23") && !lines.count("32")) << marks.size();
}

TEST(Plot, ZMovesAddTheSideViewsAndEveryViewEndsAtTheTarget)
{
    const std::string job = std::string(kPrologue) + "INTP_LINE 0 5000 2000 200\n"
                                                     "INTP_XYZ 0 1000 -3000 1500 150\n"
                                                     "INTP_ARC 0 2000 2000 2000 1 100\n"
                                                     "INTP_LINE01 0 2 -700 -400 80\n"
                                                     "INTP_CIRCLE 0 1000 0 1 120\n"
                                                     "PULSE_MOVE 0 2 -1234 40\n"
                                                     "INTP_XYZ02 0 300 200 100 50 0\n"
                                                     "poll 0 10\n";
    JobRun r = run_text(job);
    ASSERT_EQ(r.code, EXIT_OK) << r.err;
    std::array<long, 3> end = sum_of_moves(job);
    EXPECT_NE(r.out.find("card 0: X " + std::to_string(end[0]) + "  Y " +
                         std::to_string(end[1]) + "  Z " + std::to_string(end[2]) + "\n"),
              std::string::npos)
        << r.out;
    xml::Element svg = parse_svg(svg_plot(r.recording));
    const struct {
        const char *view;
        int u, v;
    } views[] = {{"xy", 0, 1}, {"xz", 0, 2}, {"yz", 1, 2}};
    for (const auto &v : views) {
        auto lines = polylines(svg, "path", v.view);
        ASSERT_EQ(lines.size(), 1u) << v.view;
        EXPECT_EQ(points_of(*lines[0], "data-end").back(),
                  (std::pair<double, double>(end[v.u], end[v.v])))
            << v.view;
    }
}

TEST(Plot, NamesAreEscapedAndAnEmptyRunStillDraws)
{
    Recording rec;
    rec.job = "a&b <c> \"d\".job";
    rec.machine = "virtual card";
    xml::Element svg = parse_svg(svg_plot(rec));
    std::vector<const xml::Element *> texts;
    svg.find_all([](const xml::Element &e) { return e.name == "text"; }, texts);
    bool title = false, empty_note = false;
    for (const xml::Element *t : texts) {
        title |= t->text == "korva3: a&b <c> \"d\".job";
        empty_note |= t->text == "no motion";
    }
    EXPECT_TRUE(title);
    EXPECT_TRUE(empty_note);
}

TEST(Plot, ALongProfileIsThinnedToAFewPointsPerColumn)
{
    Recording rec;
    rec.machine = "virtual card";
    CardTrace t;
    t.path = {{0, 0, 0, 0}, {50000, 100000, 0, 0}};
    for (uint64_t i = 1; i <= 50000; i++)
        t.speed.add(i * 1000, {i % 7 == 0 ? 300 : 200, 0, 0}, 1000);
    rec.end_ms = 50000;
    rec.cards.push_back(t);
    xml::Element svg = parse_svg(svg_plot(rec));
    auto speed = polylines(svg, "speed");
    ASSERT_EQ(speed.size(), 1u);
    std::vector<std::pair<double, double>> pts = points_of(*speed[0]);
    EXPECT_LT(pts.size(), 4000u);
    // Thinned, it still shows both the highs and the lows.
    double lo = 1e9, hi = -1e9;
    for (const auto &p : pts) {
        lo = std::min(lo, p.second);
        hi = std::max(hi, p.second);
    }
    EXPECT_GT(hi - lo, 20.0); // page units: 300 and 200 are far apart on the page
}

TEST(XmlCheck, RejectsWhatIsNotWellFormed)
{
    const char *bad[] = {"",
                         "<a>",
                         "<a></b>",
                         "<a x=1/>",
                         "<a x=\"1\" x=\"2\"/>",
                         "<a>&nbsp;</a>",
                         "<a>x < y</a>",
                         "<a/><b/>",
                         "<a><b></a></b>",
                         "text<a/>"};
    for (const char *doc : bad) {
        xml::Element root;
        xml::Reader reader(doc);
        EXPECT_FALSE(reader.parse(root)) << doc;
    }
    xml::Element root;
    xml::Reader good("<?xml version=\"1.0\"?>\n<!-- c --><a x='1' y=\"&amp;&#38;\"><b/>t&lt;</a>\n");
    ASSERT_TRUE(good.parse(root)) << good.error();
    EXPECT_EQ(root.attr("y"), "&?");
    EXPECT_EQ(root.text, "t<");
}

} // namespace
