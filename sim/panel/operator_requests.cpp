// operator_requests.cpp - jog and homing from the page, checked and put on the desk.
#include "operator_requests.h"

#include "hub.h"
#include "operator_desk.h"

namespace korva::sim::panel {

namespace {

// A whole number within [lo, hi], digits with an optional leading minus.
bool whole(const httplib::Request& req, const char* name, long lo, long hi, long& out)
{
    const std::string text = req.get_param_value(name);
    const std::size_t digits = text.size() - (text.rfind('-', 0) == 0 ? 1 : 0);
    if (digits == 0 || digits > 9 ||
        text.find_first_not_of("0123456789", text.size() - digits) != std::string::npos)
        return false;
    out = std::stol(text);
    return out >= lo && out <= hi;
}

} // namespace

bool is_operator_command(const std::string& what) { return what == "jog" || what == "homing"; }

bool run_operator_command(const httplib::Request& req, std::int32_t card,
                          const std::string& what, std::string& why)
{
    OperatorRequest r;
    r.card = card;
    long axis = 0, pulses = 0;
    if (what == "jog") {
        if (!whole(req, "axis", 1, 3, axis) ||
            !whole(req, "pulses", -kMaxJogPulses, kMaxJogPulses, pulses) || pulses == 0) {
            why = "jog: axis 1..3, pulses -10000000..10000000 (not 0)";
            return false;
        }
    } else if (!whole(req, "axis", 0, 3, axis)) {
        why = "homing: axis 0..3 (0: every axis)";
        return false;
    }
    r.kind = what == "jog" ? OperatorRequest::Jog : OperatorRequest::Home;
    r.axis = static_cast<std::uint32_t>(axis);
    r.pulses = static_cast<std::int32_t>(pulses);
    why = desk().ask(r, hub().estop_pressed(card));
    return why.empty();
}

nlohmann::json operator_json(std::size_t cards)
{
    nlohmann::json list = nlohmann::json::array();
    for (std::size_t i = 0; i < cards && i < kDeskCards; ++i) {
        const DeskCard c = desk().card(static_cast<std::int32_t>(i));
        list.push_back({{"scale", c.scale}, {"busy", c.busy || c.pending}, {"note", c.note}});
    }
    return {{"jog", desk().offered()}, {"cards", std::move(list)}};
}

} // namespace korva::sim::panel
