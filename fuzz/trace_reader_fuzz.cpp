// trace_reader_fuzz.cpp - libFuzzer target: arbitrary bytes as a virtual card's trace,
// through the reader of `korva3 trace` and `korva3 plot`, its summary and its plot.
// Invariants: a trace is either read or refused with "NAME: no trace events in it";
// every line is an event or counted as not one; at most 64 cards, each with its path
// within the thinner's budget.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "plot/svg_plot.h"
#include "record/trace_file.h"

using namespace korva3_tool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char *>(data), size));
    TraceSummary summary;
    Recording recording;
    std::string error;
    if (!read_trace(in, "fuzz.jsonl", summary, recording, error)) {
        if (error != "fuzz.jsonl: no trace events in it")
            std::abort();
        return 0;
    }
    size_t lines = 1;
    for (size_t i = 0; i < size; i++)
        lines += data[i] == '\n';
    if (summary.bad_lines < 0 || static_cast<size_t>(summary.bad_lines) > lines)
        std::abort();
    if (summary.cards.size() > 64 || recording.cards.size() != summary.cards.size())
        std::abort();
    for (const CardTrace &c : recording.cards)
        if (c.path.empty() || c.path.size() > 12001)
            std::abort();
    if (format_summary(summary).empty() || svg_plot(recording).empty())
        std::abort();
    return 0;
}
