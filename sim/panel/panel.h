// panel.h - the front panel of the virtual machine: a page on the loopback address that
// shows every card and lets a person flip its switches, press its emergency stop and
// inject faults while a program runs. Also the pace: virtual time held to the wall clock
// so that a person can watch.
//
// The machine never waits for the panel: it publishes what it shows with a try-lock and
// takes the panel's commands, with a try-lock, on its own thread at its next step.
#ifndef KORVA_SIM_PANEL_H
#define KORVA_SIM_PANEL_H

#include <cstdint>
#include <string>

namespace korva::sim::panel {

// Starts the panel on 127.0.0.1:port (0: a free port). Result: the port, or -1 with the
// reason in *error (port taken, or no panel in this build). A running panel is kept and
// its port returned. With announce, prints "korva32sim: panel at URL" on standard error:
// what a machine description that asks for the panel calls.
std::int32_t start(std::uint32_t port, bool announce, std::string* error = nullptr);

// Stops the panel (the page's connections end). Nothing if it is not running.
void stop();

// The address to open, with its token; empty while the panel is off.
std::string url();

// Virtual time runs at most at percent % of the wall clock (100 = real time); 0, the
// default, lets it run as fast as the host can.
void set_pace(std::uint32_t percent);

// After a step of the program on the machine, outside the machine's mutex: waits for the
// wall clock when virtual time is ahead of the pace. One relaxed load while off.
void pace();

// Lets ms milliseconds of virtual time pass, in paced steps while a pace is set.
void advance_ms(std::uint32_t ms);

// Whether this build has the panel's web server (not on Windows).
bool available();

} // namespace korva::sim::panel

#endif
