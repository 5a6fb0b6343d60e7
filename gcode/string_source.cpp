// string_source.cpp - the lines of a string.
#include "gcode/line_source.h"

namespace korva3_gcode {

Got StringSource::next(std::string &line)
{
    line.clear();
    if (at_ >= text_.size())
        return Got::End;
    size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos)
        end = text_.size();
    const size_t from = at_;
    at_ = end + 1;
    if (end - from > kMaxLineBytes)
        return Got::TooLong;
    line.assign(text_.data() + from, end - from);
    return Got::Line;
}

bool StringSource::seek(uint64_t at)
{
    at_ = at < text_.size() ? static_cast<size_t>(at) : text_.size();
    return true;
}

} // namespace korva3_gcode
