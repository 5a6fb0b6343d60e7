// trace_line.cpp - reading a trace's lines within bounds.
#include "record/trace_line.h"

namespace korva3_tool {

TraceLine read_trace_line(std::istream &in, std::string &line, size_t max_bytes)
{
    line.clear();
    std::streambuf *buf = in.rdbuf();
    bool any = false, too_long = false;
    for (;;) {
        const int c = buf ? buf->sbumpc() : std::char_traits<char>::eof();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            if (!any)
                return TraceLine::End;
            break;
        }
        any = true;
        if (c == '\n')
            break;
        if (too_long)
            continue; // the rest of a line too long: read past, never kept
        if (line.size() == max_bytes) {
            too_long = true;
            line.clear();
            continue;
        }
        line += static_cast<char>(c);
    }
    if (too_long)
        return TraceLine::TooLong;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return TraceLine::Read;
}

bool nesting_within(const std::string &text, int max_depth)
{
    int depth = 0;
    bool in_string = false, escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
            continue;
        }
        if (c == '"')
            in_string = true;
        else if ((c == '[' || c == '{') && ++depth > max_depth)
            return false;
        else if (c == ']' || c == '}')
            depth--;
    }
    return true;
}

} // namespace korva3_tool
