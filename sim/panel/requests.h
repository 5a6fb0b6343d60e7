// requests.h - the page's commands: checked, then posted to the machine through the hub.
#ifndef KORVA_SIM_PANEL_REQUESTS_H
#define KORVA_SIM_PANEL_REQUESTS_H

#include <httplib.h>

#include <string>

namespace korva::sim::panel {

// Runs one command of the page (POST /command?card=N&do=WHAT&...):
//   do=input&bit=0..7&on=0|1               a digital input
//   do=limit_low|limit_high|home&axis=1..3&on=0|1   a switch held by hand or let go
//   do=fault&kind=0..4[&n=0..1000]         inject a fault (KSIM_FAULT's kinds), 0 clears
//   do=estop                               the emergency stop
//   do=release                             let it go
//   do=jog, do=homing                      the operator's (operator_requests.h)
//   do=override&percent=1..1000            the running job's feed override (no card)
//   do=hold | do=resume | do=stop_program  its feed hold, resume, controlled stop
// The response's status: 204 when done; 400 with the reason for anything else, 404 for a
// card the machine does not have; nothing is done then.
int run_command(const httplib::Request& req, std::string& why);

} // namespace korva::sim::panel

#endif
