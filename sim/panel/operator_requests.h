// operator_requests.h - the page's jog and homing requests (recorded on the operator's
// desk for the program that drives the card), and what the page shows of the desk.
#ifndef KORVA_SIM_PANEL_OPERATOR_REQUESTS_H
#define KORVA_SIM_PANEL_OPERATOR_REQUESTS_H

#include <httplib.h>

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace korva::sim::panel {

// Whether `what` (the command's do=) is the operator's jog or homing.
bool is_operator_command(const std::string& what);

// POST /command?card=N&do=jog&axis=1..3&pulses=-10000000..10000000 (not 0): a step jog;
//      /command?card=N&do=homing&axis=0..3 (0: every axis).
// Recorded for the program, or refused with the reason in why (also shown on the page).
bool run_operator_command(const httplib::Request& req, std::int32_t card,
                          const std::string& what, std::string& why);

// {"jog": offered, "cards": [{"scale": [x, y, z], "busy": b, "note": "..."}, ...]} for
// the first `cards` cards.
nlohmann::json operator_json(std::size_t cards);

} // namespace korva::sim::panel

#endif
