// stream_test.cpp - the reader as a stream: a sink sees the moves read_program collects,
// from a string and from a file alike; lines are reached in the order the program
// follows, with the same sequence on every pass; the sink can stop the reading.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gcode/program.h"
#include "gcode/stream.h"

using namespace korva3_gcode;

namespace {

// A move as text, every field: two lists of moves are equal when their texts are.
std::string text_of(const Move &m)
{
    std::ostringstream s;
    s.precision(17);
    s << static_cast<int>(m.op) << " line " << m.line << " end " << m.end[0] << "," << m.end[1]
      << "," << m.end[2] << " plane " << m.u << m.v << " turn " << m.turn << " ms " << m.ms
      << " out " << m.outputs << " note '" << m.note << "' centre " << m.centre[0] << ","
      << m.centre[1] << "," << m.centre[2] << " feed " << m.feed_mm_min << " rapid " << m.rapid
      << " stop " << m.exact_stop << " tol " << m.tolerance;
    return s.str();
}

// What a sink hears: the lines reached (number, sequence), the moves, the messages.
struct Heard : MoveSink {
    std::vector<std::pair<int, uint64_t>> lines;
    std::vector<std::string> moves;
    std::vector<std::string> messages;
    long stop_at_line = -1; // line() says false at this line
    long stop_after = -1;   // move() says false at this move (from 1)

    bool line(int number, uint64_t sequence) override
    {
        lines.push_back({number, sequence});
        return number != stop_at_line;
    }
    bool move(const Move &m) override
    {
        moves.push_back(text_of(m));
        return static_cast<long>(moves.size()) != stop_after;
    }
    void message(int line, const std::string &text) override
    {
        messages.push_back(std::to_string(line) + ": " + text);
    }
};

std::string file_with(const std::string &name, const std::string &text)
{
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string file_text(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A fresh session's reading of `source` into `sink`.
bool stream(LineSource &source, Heard &sink, ProgramSummary &summary,
            std::vector<std::string> &errors, const Settings &settings = Settings{})
{
    State state = initial_state(settings);
    Parameters parameters;
    return read_stream("t.ngc", source, settings, state, parameters, sink, summary, errors);
}

// A program longer than the file source's buffer, whose calls jump back over it: the
// sub at the start, 20000 lines after it, the calls at the end.
std::string long_program()
{
    std::string text = "o<row> sub\nG91 G1 X[#1] F600\nG90\no<row> endsub\n";
    for (int i = 0; i < 20000; i++)
        text += "G1 X" + std::to_string(i % 97) + "." + std::to_string(i % 10) + " Y1 F300\n";
    return text + "o1 repeat [3]\no<row> call [2]\no1 endrepeat\nM2\n";
}

} // namespace

// The moves, messages and summary a sink hears are read_program's, whether the lines
// come from a string or a file; and a second pass reaches the lines in the same order.
TEST(GcodeStream, TheSinkSeesWhatReadProgramCollects)
{
    const std::string examples = KORVA_GCODE_EXAMPLES;
    Settings settings; // the examples' machine: its tool table
    std::string error;
    ASSERT_TRUE(read_machine_file(examples + "/machine.toml", settings, error)) << error;
    std::vector<std::pair<std::string, std::string>> programs = { // name, text
        {"bracket.ngc", file_text(examples + "/bracket.ngc")},
        {"drill.ngc", file_text(examples + "/drill.ngc")},
        {"pocket.ngc", file_text(examples + "/pocket.ngc")},
        {"engrave.ngc", file_text(examples + "/engrave.ngc")},
        {"bolts.ngc", file_text(examples + "/bolts.ngc")},
        {"messages", "(MSG, start)\no1 repeat [2]\n(MSG, each pass)\nG91 G0 X1\no1 endrepeat\n"
                     "M0\nM1\nT2 M6\nM3 M8\nG4 P0.5\nM30\n"},
        {"branches", "#1=2\no1 if [#1 EQ 1]\nG0 Y1\no1 elseif [#1 EQ 2]\nG0 Y2\no1 else\n"
                     "G0 Y3\no1 endif\no2 do\nG91 G0 X1\n#1=[#1-1]\no2 while [#1 GT 0]\n"},
        {"long", long_program()},
    };
    for (const auto &[name, text] : programs) {
        SCOPED_TRACE(name);
        ASSERT_FALSE(text.empty());
        Program p;
        std::vector<std::string> errors;
        ASSERT_TRUE(read_program("t.ngc", text, settings, p, errors)) << errors.front();
        std::vector<std::string> want, messages;
        for (const Move &m : p.moves)
            want.push_back(text_of(m));
        for (const Program::Message &m : p.messages)
            messages.push_back(std::to_string(m.line) + ": " + m.text);

        StringSource from_text(text);
        FileSource from_file(file_with("stream.ngc", text));
        Heard first, second;
        ProgramSummary summary;
        ASSERT_TRUE(stream(from_text, first, summary, errors, settings));
        ASSERT_TRUE(stream(from_file, second, summary, errors, settings));
        EXPECT_EQ(first.moves, want);
        EXPECT_EQ(second.moves, want);
        EXPECT_EQ(first.messages, messages);
        EXPECT_EQ(first.lines, second.lines);
        EXPECT_EQ(summary.move_count, p.moves.size());
        EXPECT_EQ(summary.lines, p.lines);
        EXPECT_EQ(summary.end, p.end);
        EXPECT_EQ(summary.extent.low, p.extent.low);
        EXPECT_EQ(summary.extent.high, p.extent.high);
        EXPECT_EQ(summary.tools_used, p.tools_used);
        EXPECT_EQ(summary.coords_used, p.coords_used);
        EXPECT_EQ(summary.lines_reached, first.lines.size());
    }
}

// Each line reached, O-word lines too, with how many were reached before it.
TEST(GcodeStream, LinesAreReachedInTheOrderTheProgramFollows)
{
    const struct {
        const char *text;
        std::vector<int> lines; // in the order reached; the sequence counts them from 0
    } cases[] = {
        {"G0 X1\nG0 X2\n", {1, 2}},
        {"o1 repeat [2]\nG0 X1\no1 endrepeat\nG0 X2", {1, 2, 3, 2, 3, 4}},
        {"o1 sub\nG0 X1\no1 endsub\no1 call\no1 call\nM2\nG0 X9", {1, 4, 2, 3, 5, 2, 3, 6}},
        // each branch's test is a line reached; the taken one's end jumps past the endif
        {"o1 if [0]\nG0 X1\no1 elseif [1]\nG0 X2\no1 else\nG0 X3\no1 endif\nG0 X4",
         {1, 3, 4, 5, 8}},
        {"#1=0\no1 while [#1 LT 2]\n#1=[#1+1]\no1 endwhile", {1, 2, 3, 4, 2, 3, 4, 2}},
    };
    for (const auto &c : cases) {
        StringSource source(c.text);
        Heard heard;
        ProgramSummary summary;
        std::vector<std::string> errors;
        ASSERT_TRUE(stream(source, heard, summary, errors)) << c.text;
        std::vector<std::pair<int, uint64_t>> want;
        for (int line : c.lines)
            want.push_back({line, want.size()});
        EXPECT_EQ(heard.lines, want) << c.text;
    }
}

// false from line() or move() ends the reading there, with no End and no error.
TEST(GcodeStream, TheSinkStopsTheReading)
{
    const char *text = "G0 X1\nG0 X2\nG0 Z5\nF100 G83 X0 Y0 Z-10 R1 Q1\nG0 X9\n";
    const struct {
        long stop_at_line, stop_after;
        size_t moves, lines; // heard
    } cases[] = {
        {1, -1, 0, 1},  // before line 1 is read
        {3, -1, 2, 3},
        {-1, 2, 2, 2},  // at line 2's move
        {-1, 5, 5, 4},  // inside the cycle of line 4
        // not stopped: 3 lines; the cycle's rapids to the hole and to R, 11 pecks (each
        // but the last out to R and back), the rapid out; a line; the End
        {-1, -1, 3 + 2 + 11 + 2 * 10 + 1 + 1 + 1, 5},
    };
    for (const auto &c : cases) {
        StringSource source(text);
        Heard heard;
        heard.stop_at_line = c.stop_at_line;
        heard.stop_after = c.stop_after;
        ProgramSummary summary;
        std::vector<std::string> errors;
        EXPECT_TRUE(stream(source, heard, summary, errors)) << c.stop_at_line << c.stop_after;
        EXPECT_EQ(heard.moves.size(), c.moves) << c.stop_at_line << " " << c.stop_after;
        EXPECT_EQ(heard.lines.size(), c.lines) << c.stop_at_line << " " << c.stop_after;
        EXPECT_EQ(summary.stopped, c.stop_at_line > 0 || c.stop_after > 0);
    }
}
