// status_line.cpp - the terminal's status line.
#include "run/status_line.h"

#ifdef _WIN32
#include <io.h>
#define KORVA_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define KORVA_ISATTY(fd) isatty(fd)
#endif

namespace korva3_tool {

namespace {
constexpr auto kAfter = std::chrono::milliseconds(500);  // a step this long gets a line
constexpr auto kEvery = std::chrono::milliseconds(200);  // at most this often
} // namespace

bool StatusLine::stderr_is_terminal() { return KORVA_ISATTY(2) != 0; }

void StatusLine::begin_step() { step_start_ = last_ = Clock::now(); }

void StatusLine::show(const std::string &text)
{
    if (!enabled_)
        return;
    Clock::time_point now = Clock::now();
    if (now - step_start_ < kAfter || now - last_ < kEvery)
        return;
    last_ = now;
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void StatusLine::clear()
{
    if (!shown_)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

} // namespace korva3_tool
