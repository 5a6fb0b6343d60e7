// status_line.h - one line on a terminal, rewritten in place, for steps that take long:
// job line, share of the path sent, virtual time. Never written when standard error is
// not a terminal.
#ifndef KORVA3_TOOL_STATUS_LINE_H
#define KORVA3_TOOL_STATUS_LINE_H

#include <chrono>
#include <cstdio>
#include <string>

namespace korva3_tool {

class StatusLine {
public:
    explicit StatusLine(bool enabled) : enabled_(enabled) {}

    // True when standard error is a terminal.
    static bool stderr_is_terminal();

    // A new step begins now.
    void begin_step();
    // Shows `text` if the step has run for a while and the line was not just written.
    void show(const std::string &text);
    // Wipes the line (at the end of a step).
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point step_start_{}, last_{};
};

} // namespace korva3_tool

#endif
