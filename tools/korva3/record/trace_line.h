// trace_line.h - a trace's lines as the reader takes them, bounded before the JSON
// parser sees them: a line longer than kMaxTraceLine bytes is skipped whole (never held
// in memory), and a line nested deeper than kMaxTraceNesting is not parsed, so no line
// can cost more than a fixed amount of memory.
#ifndef KORVA3_TOOL_TRACE_LINE_H
#define KORVA3_TOOL_TRACE_LINE_H

#include <cstddef>
#include <istream>
#include <string>

namespace korva3_tool {

// A trace line is one event of a few hundred bytes (the machine's first line: its
// description's path, up to a few KiB).
constexpr size_t kMaxTraceLine = 64 * 1024; // bytes, without the newline
// An event is an object whose deepest field is an array of objects ("cards"): depth 3.
constexpr int kMaxTraceNesting = 8;         // arrays and objects inside each other

enum class TraceLine {
    Read,    // `line` holds the next line
    TooLong, // the next line was longer than `max_bytes`: skipped, `line` empty
    End      // no more lines
};

// The next line of `in` (without "\n" or "\r\n"), holding at most `max_bytes` bytes of it.
TraceLine read_trace_line(std::istream &in, std::string &line, size_t max_bytes = kMaxTraceLine);

// Whether the JSON text nests its arrays and objects at most `max_depth` deep (brackets in
// strings do not count).
bool nesting_within(const std::string &text, int max_depth = kMaxTraceNesting);

} // namespace korva3_tool

#endif
