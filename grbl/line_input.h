// line_input.h - bytes from a sender split as grbl splits them: real-time bytes ('?',
// '!', '~', Ctrl-X and 0x80..0xFF) taken out wherever they come, even inside a line;
// the rest gathered into lines ended by LF or CR (CR LF counts once). grbl keeps at most
// kLineMax characters of a line once spaces, control characters and comments are
// dropped; a longer line is discarded and answered with error:11.
#ifndef KORVA3_GRBL_LINE_INPUT_H
#define KORVA3_GRBL_LINE_INPUT_H

#include <cstddef>
#include <string>

namespace korva3_grbl {

bool is_realtime(unsigned char byte);

class LineInput {
public:
    static constexpr std::size_t kLineMax = 79; // grbl's 80-byte line buffer, less its end
    static constexpr std::size_t kRawMax = 4096; // bytes of a line kept as sent

    enum class Got { Nothing, Realtime, Line };
    // One byte in. Line: `line` is the line as sent (comments kept for the reader's
    // messages), `overflow` whether grbl would have had to drop it.
    Got feed(unsigned char byte, std::string &line, bool &overflow);

private:
    std::string raw_;
    std::size_t kept_ = 0;   // characters grbl would keep
    bool in_paren_ = false, in_semicolon_ = false, after_cr_ = false;
};

} // namespace korva3_grbl

#endif
