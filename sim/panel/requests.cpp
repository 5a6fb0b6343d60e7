// requests.cpp - the page's commands, checked and handed to the machine.
#include "requests.h"

#include "backend/lib_view.h"
#include "hub.h"
#include "job_board.h"
#include "command_box.h"
#include "korva3.h"
#include "operator_requests.h"
#include "vm.h"

namespace korva::sim::panel {

namespace {

// The library's card number bound to virtual card `index`, or -1. Looks inside the
// machine and the library directly, never through a KSIM_ function: a program's first
// KSIM_ call sets the machine up anew, and the panel must leave the machine as it is.
int bound_card_number(std::int32_t index)
{
    const std::uint32_t base = with_machine([&](Machine& vm) -> std::uint32_t {
        const SimCard* card = vm.card(index);
        return card != nullptr ? card->io_base : 0;
    });
    return lib_card_number(base);
}

// The number of cards in the machine (as bound_card_number, never through a KSIM_ call).
std::size_t machine_cards()
{
    return with_machine([](Machine& vm) { return vm.cards().size(); });
}

bool number(const httplib::Request& req, const char* name, std::uint32_t max, std::uint32_t& out)
{
    const std::string text = req.get_param_value(name);
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = static_cast<std::uint32_t>(std::stoul(text));
    return out <= max;
}

bool is_job_command(const std::string& what)
{
    return what == "override" || what == "hold" || what == "resume" || what == "stop_program" ||
           what == "cycle_start" || what == "line";
}

// The operator's requests for the running job: recorded for the program's thread, which
// applies them to its card (the panel sends the card nothing for them).
bool run_job_command(const httplib::Request& req, std::string& why)
{
    const std::string what = req.get_param_value("do");
    std::uint32_t percent = 0;
    if (what == "line") { // MDI, jogs held down, touch-off ...: for the program to read
        why = command_box().put(req.get_param_value("text"));
        return why.empty();
    }
    if (what == "override" && !number(req, "percent", 1000, percent)) {
        why = "override: percent 1..1000";
        return false;
    }
    return job_board().request(what, percent, why);
}

} // namespace

namespace {

bool run_card_command(const httplib::Request& req, std::int32_t card, std::string& why)
{
    std::uint32_t a = 0, on = 0;
    Command c{Command::Inputs, card};
    const std::string what = req.get_param_value("do");
    if (is_operator_command(what))
        return run_operator_command(req, c.card, what, why);
    if (what == "input") {
        if (!number(req, "bit", 7, a) || !number(req, "on", 1, on)) {
            why = "input: bit 0..7, on 0/1";
            return false;
        }
        c.a = 1u << a;
        c.b = on ? c.a : 0;
    } else if (what == "limit_low" || what == "limit_high" || what == "home") {
        if (!number(req, "axis", 3, a) || a == 0 || !number(req, "on", 1, on)) {
            why = what + ": axis 1..3, on 0/1";
            return false;
        }
        c.kind = Command::HoldSwitch;
        c.a = a;
        c.b = what == "home" ? kHandHome : what == "limit_low" ? kHandLimitLow : kHandLimitHigh;
        c.c = on;
    } else if (what == "fault") {
        std::uint32_t n = 0;
        if (!number(req, "kind", 4, a) || (req.has_param("n") && !number(req, "n", 1000, n))) {
            why = "fault: kind 0..4, n 0..1000";
            return false;
        }
        c.kind = Command::Fault;
        c.a = a;
        c.b = n;
    } else if (what == "estop") {
        // Latched: the card moves nothing until it is let go ("release"). Then as the
        // program's own emergency stop would: the reset line resets the controller and a
        // running path of the library ends. A card the program has not registered is
        // reset on the machine's thread. The latch is posted first, so that the card
        // takes it at the first step of the library's stop.
        hub().set_estop(c.card, true);
        const int bound = bound_card_number(c.card);
        if (bound >= 0) {
            KORVA3_EMG_STOP(static_cast<uint32_t>(bound));
            return true;
        }
        c.kind = Command::ResetController;
    } else if (what == "release") {
        hub().set_estop(c.card, false);
        return true;
    } else {
        why = "do: input, limit_low, limit_high, home, fault, estop, release, jog, homing, "
              "override, hold, resume, stop_program, cycle_start or line";
        return false;
    }
    if (!hub().post(c)) {
        why = "the machine takes no more commands now (" + std::to_string(kMaxPendingCommands) +
              " wait for its next step)";
        return false;
    }
    return true;
}

} // namespace

int run_command(const httplib::Request& req, std::string& why)
{
    if (is_job_command(req.get_param_value("do")))
        return run_job_command(req, why) ? 204 : 400;
    std::uint32_t card = 0;
    if (!number(req, "card", 63, card)) {
        why = "card: 0..63";
        return 400;
    }
    if (const std::size_t cards = machine_cards(); card >= cards) {
        why = "card " + std::to_string(card) + ": no such card (the machine has " +
              std::to_string(cards) + (cards == 1 ? " card)" : " cards)");
        return 404;
    }
    return run_card_command(req, static_cast<std::int32_t>(card), why) ? 204 : 400;
}

} // namespace korva::sim::panel
