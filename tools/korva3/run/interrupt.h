// interrupt.h - Ctrl-C and termination: an emergency stop on every card the job
// registered, then exit code 130 (EXIT_INTERRUPTED); the panel's emergency stop likewise,
// with exit code 3 (EXIT_EMERGENCY). POSIX: SIGINT and SIGTERM are taken by a thread of
// their own (sigwait), so the stop runs while the job's thread is inside a blocking
// library call; Windows: a console control handler (which runs on a thread of its own).
#ifndef KORVA3_TOOL_INTERRUPT_H
#define KORVA3_TOOL_INTERRUPT_H

#include <cstdint>
#include <functional>
#include <string>

#include "run/exit_codes.h"

namespace korva3_tool::interrupt {

// Starts the handling; call once, before any other thread starts.
void install();

// A card number to stop when interrupted (registered by the job).
void track_card(uint32_t card);

// Emergency stop on every tracked card (what the handler does before it exits). Returns
// the cards stopped (bit n: card number n).
uint32_t stop_cards();

// What the handler does: notes that the process is ending, then stop_cards().
uint32_t stop_for_exit();

// The handler's line: "korva3: interrupted: emergency stop on card 0" (cards 0, 2, ...),
// or that no card was registered; newline included.
std::string stopped_message(uint32_t cards);

// With the panel: watches its emergency stop (`pressed`, asked from any thread). Once it
// is pressed, exiting() is true at once, and a thread of its own does what Ctrl-C does
// (an emergency stop on every tracked card, the job's thread parked) and ends the
// process with "korva3: emergency stop (panel)" and EXIT_EMERGENCY.
// `keep_running` (--panel-keep): the process goes on, so that the page can show how the
// job ended: stopped_by_panel() is true at once instead, the thread stops every tracked
// card, and once the job's thread has said it sends no more (or after half a second)
// stops them again; the job ends itself with EXIT_EMERGENCY.
void watch_panel_estop(bool (*pressed)(), bool keep_running = false);

// With watch_panel_estop(pressed, true): the panel's emergency stop was pressed, and the
// job must send nothing more. Any thread.
bool stopped_by_panel();

// The job's thread has seen stopped_by_panel() and sends nothing more.
void sends_no_more();

// The job has ended with `code` and the tool only keeps the panel's page up: Ctrl-C
// then ends the process with that code (no card is stopped, nothing more is said than
// "korva3: panel closed"), and the panel's emergency stop no longer ends it.
void job_ended(int code);

// The code job_ended() gave, or -1 while the job runs. Any thread.
int ended_code();

// What to undo when the handler ends the process, after the cards are stopped (a
// pseudo-terminal's symlink): one at a time, replaced by the next; null clears it. It
// must not wait for the job's thread.
void at_exit(std::function<void()> undo);
// The handlers' part: runs it, once.
void run_at_exit();

// True once the handler has begun: the cards were stopped under the job, and the
// handler is about to end the process with EXIT_INTERRUPTED.
bool exiting();

// Lets the handler end the process (the job's thread calls it when exiting() is true,
// so that the exit code is always the handler's, never the job's own).
[[noreturn]] void wait_for_exit();

} // namespace korva3_tool::interrupt

#endif
