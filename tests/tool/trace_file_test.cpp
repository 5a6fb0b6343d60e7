// Tests of reading a virtual card's trace: the summary counts what each card took and
// where it ended, lists the faults seen, and survives a last line cut off by a kill.
#include <gtest/gtest.h>

#include <sstream>

#include "record/trace_file.h"

using namespace korva3_tool;

TEST(TraceFile, SummaryCountsFramesEndsAndFaultsOfEachCard)
{
    std::istringstream in(
        R"({"t":0.000,"ev":"machine","source":"m.toml","clock":"wall","cards":[{"card":0},{"card":1}]})" "\n"
        R"({"t":1.000,"ev":"frame","card":1,"cmd":16,"seq":2,"name":"slice","x":5,"y":-6,"z":0})" "\n"
        R"({"t":1.500,"ev":"frame","card":1,"cmd":16,"seq":3,"name":"slice","x":5,"y":-6,"z":0})" "\n"
        R"({"t":2.000,"ev":"motion","card":1,"x":10,"y":-12,"z":0})" "\n"
        R"({"t":2.500,"ev":"bad_frame","card":1})" "\n"
        R"({"t":3.000,"ev":"limit","card":1,"axis":"x","position":10})" "\n"
        R"({"t":4.000,"ev":"reset","card":0,"kind":"controller"})" "\n"
        R"({"t":20.000,"ev":"status","card":0,"sys":0,"fault":"bad check byte"})" "\n"
        R"({"t":21.000,"ev":"mot)");
    TraceSummary summary;
    Recording recording;
    std::string error;
    ASSERT_TRUE(read_trace(in, "run.jsonl", summary, recording, error)) << error;
    EXPECT_EQ(format_summary(summary),
              "machine: m.toml, wall clock, 20 ms\n"
              "card 0: 0 frames, 1 status reports\n"
              "card 0: X 0  Y 0  Z 0\n"
              "card 0: controller reset (1 time)\n"
              "card 0: status report: bad check byte (1 time)\n"
              "card 1: 2 frames (slice 2), 0 status reports\n"
              "card 1: X 10  Y -12  Z 0\n"
              "card 1: bad frame (1 time)\n"
              "card 1: limit switch x (1 time)\n"
              "1 lines were not events\n");
    // The plot's recording: card 1's path from the origin, and its two slices.
    ASSERT_EQ(recording.cards.size(), 2u);
    ASSERT_EQ(recording.cards[1].path.size(), 2u);
    EXPECT_EQ(recording.cards[1].path[1].x, 10);
    EXPECT_EQ(recording.cards[1].slices, 2u);
    EXPECT_EQ(recording.cards[1].sent[1], -12);

    std::istringstream empty("not a trace\n");
    EXPECT_FALSE(read_trace(empty, "x.txt", summary, recording, error));
    EXPECT_EQ(error, "x.txt: no trace events in it");
}

TEST(TraceFile, LinesThatAreNoSoundEventAreCountedNotTaken)
{
    const std::string deep = std::string(40, '[') + "1" + std::string(40, ']');
    const std::string pad(70000, 'a'); // a line beyond 64 KiB
    const std::string cases[] = {
        R"({"t":1,"ev":"frame","card":100000000,"name":"slice","x":1})",
        R"({"t":1,"ev":"frame","card":64,"name":"slice","x":1})",
        R"({"t":1,"ev":"frame","card":-1,"name":"slice","x":1})",
        R"({"t":1,"ev":"frame","card":0.5,"name":"slice","x":1})",
        R"({"t":"x","ev":"frame","card":0,"name":"slice","x":1})",
        R"({"t":1e30,"ev":"motion","card":0,"x":1,"y":2,"z":3})",
        R"({"t":-5,"ev":"motion","card":0,"x":1,"y":2,"z":3})",
        R"({"ev":"motion","card":0,"x":1,"y":2,"z":3})",
        R"({"t":1,"ev":"motion","card":0,"x":4294967296,"y":2,"z":3})",
        R"({"t":1,"ev":"motion","card":0,"x":"1","y":2,"z":3})",
        R"({"t":1,"ev":7,"card":0})",
        R"({"t":1,"ev":"machine","cards":[{"card":0},{"card":1000000000}]})",
        R"({"t":1,"ev":"frame","card":0,"name":")" + std::string(100, 'n') + R"("})",
        R"({"t":1,"ev":"status","card":0,"x":)" + deep + "}",
        R"({"t":1,"ev":"frame","card":0,"name":"slice","pad":")" + pad + R"("})",
        std::string(1 << 21, '['),
    };
    for (const std::string &bad : cases) {
        std::istringstream in(
            R"({"t":0.000,"ev":"machine","source":"m.toml","clock":"virtual","cards":[{"card":0}]})"
            "\n" + bad + "\n" R"({"t":2.000,"ev":"motion","card":0,"x":10,"y":-12,"z":0})" "\n");
        TraceSummary summary;
        Recording recording;
        std::string error;
        const std::string shown = bad.substr(0, 80);
        ASSERT_TRUE(read_trace(in, "t.jsonl", summary, recording, error)) << shown;
        EXPECT_EQ(summary.bad_lines, 1) << shown;
        ASSERT_EQ(summary.cards.size(), 1u) << shown;
        EXPECT_EQ(summary.cards[0].frame_count, 0) << shown;
        EXPECT_EQ(summary.cards[0].position, (std::array<int32_t, 3>{10, -12, 0})) << shown;
        EXPECT_EQ(summary.end_ms, 2.0) << shown;
    }
}
