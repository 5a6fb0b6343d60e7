// command_box.h - the operator's lines for the program that drives the machine: MDI,
// jogs held down, touch-off, run from a line, a program to open ("mdi G0 X10", "jog X +",
// "jog_renew", "touch X 0", ...). The page's request threads put them here; the program
// takes them in order on its own thread (KSIM_PANEL_TAKE_COMMAND), acts on them and says
// how each went in its published state. The panel reads nothing in them: it only
// bounds them. Fixed memory: at most kMaxCommandsWaiting lines of kMaxCommandBytes.
#ifndef KORVA_SIM_PANEL_COMMAND_BOX_H
#define KORVA_SIM_PANEL_COMMAND_BOX_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace korva::sim::panel {

inline constexpr std::size_t kMaxCommandBytes = 256;   // one line, its id included
inline constexpr std::size_t kMaxCommandsWaiting = 16; // lines not taken yet

class CommandBox {
public:
    // The program takes lines from now on (a job that offers KSIM_JOB_COMMANDS), or
    // takes none (the waiting ones are dropped).
    void offer(bool on);
    // A line from the page: "" or the reason it was refused (none taken, too long, not
    // printable text, too many waiting).
    std::string put(const std::string& line);
    // The oldest line, false when none waits.
    bool take(std::string& line);

private:
    std::mutex mutex_;
    bool offered_ = false;
    std::deque<std::string> waiting_;
};

// The one box (never destroyed, as the hub).
CommandBox& command_box();

} // namespace korva::sim::panel

#endif
