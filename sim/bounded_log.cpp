// bounded_log.cpp - handing text logs out as NUL-terminated lines.
#include "bounded_log.h"

#include <cstring>

namespace korva::sim {

std::uint32_t take_lines(LineLog& log, char* text, std::uint32_t size)
{
    if (text == nullptr || size == 0)
        return 0;
    std::size_t used = 0;
    std::uint32_t lines = 0;
    while (const std::string* line = log.oldest()) {
        // The line, its '\n' and the final NUL must all fit.
        if (used + line->size() + 2 > size)
            break;
        std::memcpy(text + used, line->data(), line->size());
        used += line->size();
        text[used++] = '\n';
        log.drop_oldest();
        ++lines;
    }
    text[used] = '\0';
    return lines;
}

} // namespace korva::sim
