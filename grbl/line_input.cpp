// line_input.cpp - a sender's bytes into real-time bytes and lines, as grbl reads them.
#include "grbl/line_input.h"

namespace korva3_grbl {

bool is_realtime(unsigned char b) { return b == '?' || b == '!' || b == '~' || b == 0x18 || b >= 0x80; }

LineInput::Got LineInput::feed(unsigned char b, std::string &line, bool &overflow)
{
    if (is_realtime(b))
        return Got::Realtime;
    if (b == '\n' || b == '\r') {
        const bool lf_after_cr = b == '\n' && after_cr_;
        after_cr_ = b == '\r';
        if (lf_after_cr)
            return Got::Nothing;
        overflow = kept_ > kLineMax || raw_.size() >= kRawMax;
        line.swap(raw_);
        raw_.clear();
        kept_ = 0;
        in_paren_ = in_semicolon_ = false;
        return Got::Line;
    }
    after_cr_ = false;
    if (raw_.size() < kRawMax)
        raw_.push_back(static_cast<char>(b));
    if (in_semicolon_)
        return Got::Nothing;
    if (in_paren_) {
        in_paren_ = b != ')';
        return Got::Nothing;
    }
    if (b == '(')
        in_paren_ = true;
    else if (b == ';')
        in_semicolon_ = true;
    else if (b > ' ')
        kept_++;
    return Got::Nothing;
}

} // namespace korva3_grbl
