// operator_desk.cpp - the operator's requests between the page and the program.
#include "operator_desk.h"

namespace korva::sim::panel {

OperatorDesk& desk()
{
    static OperatorDesk* d = new OperatorDesk;
    return *d;
}

namespace {

bool card_ok(std::int32_t card) { return card >= 0 && static_cast<std::size_t>(card) < kDeskCards; }

} // namespace

void OperatorDesk::offer(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    offered_ = on;
    if (!on)
        for (DeskCard& c : cards_)
            c.pending = c.busy = false;
}

void OperatorDesk::set_scale(std::int32_t card, std::uint32_t axis, double pulses_per_mm)
{
    if (axis < 1 || axis > 3)
        return;
    const double scale = pulses_per_mm > 0 && pulses_per_mm < 1e9 ? pulses_per_mm : 0;
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(kDeskCards); ++i)
        if (card == -1 || card == i)
            cards_[static_cast<std::size_t>(i)].scale[axis - 1] = scale;
}

bool OperatorDesk::take(OperatorRequest& out)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < kDeskCards; ++i)
        if (cards_[i].pending) {
            cards_[i].pending = false;
            cards_[i].busy = true;
            out = requests_[i];
            return true;
        }
    return false;
}

void OperatorDesk::report(std::int32_t card, bool busy, const std::string& note)
{
    if (!card_ok(card))
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    DeskCard& c = cards_[static_cast<std::size_t>(card)];
    c.busy = busy;
    c.note.clear();
    for (std::size_t i = 0; i < note.size() && c.note.size() < kMaxNoteBytes; ++i)
        c.note += note[i] >= 0x20 && note[i] < 0x7F ? note[i] : '?'; // plain ASCII on the page

}

std::string OperatorDesk::ask(const OperatorRequest& request, bool estop_pressed)
{
    if (!card_ok(request.card))
        return "card: 0..63";
    std::lock_guard<std::mutex> lock(mutex_);
    DeskCard& c = cards_[static_cast<std::size_t>(request.card)];
    std::string why;
    if (!offered_)
        why = "no program takes jog and homing here (they are for an idle machine: "
              "korva3 panel)";
    else if (estop_pressed)
        why = "refused: the emergency stop is pressed (release it first)";
    else if (c.pending || c.busy)
        why = "refused: another jog or homing runs (wait for it to end)";
    if (!why.empty()) {
        if (offered_)
            c.note = why;
        return why;
    }
    c.pending = true;
    requests_[static_cast<std::size_t>(request.card)] = request;
    return "";
}

bool OperatorDesk::offered() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return offered_;
}

DeskCard OperatorDesk::card(std::int32_t index) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return card_ok(index) ? cards_[static_cast<std::size_t>(index)] : DeskCard{};
}

} // namespace korva::sim::panel
