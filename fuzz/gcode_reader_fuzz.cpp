// gcode_reader_fuzz.cpp - libFuzzer target: arbitrary text as a G-code program, through
// the reader of `korva3 gcode` (words, modal groups, arcs, moves in machine mm, parameters,
// expressions and O-word subroutines and loops, bounded to 1000 iterations and calls,
// 100000 lines read again, 1000000 expression steps and 100000 moves here so that each
// input is quick), as a stream into a sink that checks each move as it comes, and then
// its first line as an MDI line on the state the program left.
// Invariants: a reading is either without errors or has errors that each name the file
// and a line; every move names a line of the text and ends within the card's reach once
// rounded to pulses; every arc turns by a finite angle, more than nothing and at most a
// whole turn, round a finite centre; the sink hears of lines in sequence, each a line of
// the text, and of as many moves as the summary counts.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "gcode/stream.h"

using namespace korva3_gcode;

namespace {

class Check : public MoveSink {
public:
    Check(const Settings &settings, size_t lines) : settings_(settings), lines_(lines) {}

    bool line(int number, uint64_t sequence) override
    {
        if (number < 1 || static_cast<size_t>(number) > lines_ || sequence != sequence_++)
            std::abort();
        return true;
    }

    bool move(const Move &m) override
    {
        moves++;
        if (m.line < 0 || static_cast<size_t>(m.line) > lines_)
            std::abort();
        for (int64_t p : korva3_planner::to_pulses(m.end, settings_.scale))
            if (p < -2147483647 || p > 2147483647)
                std::abort();
        if (m.op == Op::Arc || m.op == Op::Circle) {
            double turn = std::fabs(m.turn);
            // G2/G3 P: up to 1000 whole turns in one arc
            if (!(turn > 0 && turn <= 1000 * 6.2831853072) || !std::isfinite(m.centre[m.u]) ||
                !std::isfinite(m.centre[m.v]) || !std::isfinite(m.feed_mm_min))
                std::abort();
        }
        return true;
    }

    uint64_t moves = 0;

private:
    const Settings &settings_;
    size_t lines_;
    uint64_t sequence_ = 0;
};

void check_errors(bool ok, const std::vector<std::string> &errors, const std::string &name)
{
    if (ok != errors.empty())
        std::abort();
    for (const std::string &e : errors)
        if (e.rfind(name + ":", 0) != 0)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    Settings settings;
    ReadOptions options;
    options.max_iterations = 1000;
    options.max_reads = 100000;
    options.max_expression_steps = 1000000;
    options.max_moves = 100000;
    size_t lines = 1;
    for (char c : text)
        lines += c == '\n';
    State state = initial_state(settings);
    Parameters parameters;
    StringSource source(text);
    Check program(settings, lines);
    ProgramSummary summary;
    std::vector<std::string> errors;
    const bool ok = read_stream("fuzz.ngc", source, settings, state, parameters, program, summary,
                                errors, options);
    check_errors(ok, errors, "fuzz.ngc");
    if (program.moves != summary.move_count)
        std::abort();
    // The first line, as MDI on the session the program left.
    errors.clear();
    Check mdi(settings, 1);
    const bool mdi_ok = read_line(text.substr(0, text.find('\n')), settings, state, parameters,
                                  mdi, errors, options);
    check_errors(mdi_ok, errors, "MDI");
    return 0;
}
