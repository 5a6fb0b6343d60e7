// operator_desk.h - where the operator's jog and homing meet the program that drives the
// card. The page's request threads only record what was pressed (one request per card at
// a time); the program takes it on the thread that owns the card and applies it with the
// library's functions, then says on the desk what came of it. The desk also keeps the
// units the page shows each axis in. The machine never touches the desk.
#ifndef KORVA_SIM_PANEL_OPERATOR_DESK_H
#define KORVA_SIM_PANEL_OPERATOR_DESK_H

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace korva::sim::panel {

// What the operator pressed.
struct OperatorRequest {
    enum Kind : std::uint32_t { Jog = 1, Home = 2 }; // KSIM_PANEL_JOG, KSIM_PANEL_HOME
    std::int32_t card = 0;   // the virtual card's index
    Kind kind = Jog;
    std::uint32_t axis = 1;  // 1..3; homing also 0: every axis
    std::int32_t pulses = 0; // a jog's step (signed pulses)
};

// A jog's step: at most this many pulses either way.
inline constexpr std::int32_t kMaxJogPulses = 10000000;
// The program's line about card's jogging shows at most this many bytes.
inline constexpr std::size_t kMaxNoteBytes = 160;
// Cards the desk keeps (as many as the panel's emergency stops).
inline constexpr std::size_t kDeskCards = 64;

// One card as the desk keeps it.
struct DeskCard {
    std::array<double, 3> scale{};  // pulses per mm of X, Y, Z; 0: shown in pulses
    bool pending = false;           // a request waits for the program
    bool busy = false;              // the program runs a request it took
    std::string note;               // the program's last word on it, or the panel's refusal
};

class OperatorDesk {
public:
    // ---- The program (the thread that owns the cards) ------------------------------------
    void offer(bool on);
    void set_scale(std::int32_t card, std::uint32_t axis, double pulses_per_mm);
    // The oldest pending request (lowest card first); the card counts as busy from then on
    // until report(card, false, ...). False when none waits.
    bool take(OperatorRequest& out);
    void report(std::int32_t card, bool busy, const std::string& note);

    // ---- The page's request threads ------------------------------------------------------
    // Records a request unless it must be refused: "" or the reason (no program takes
    // requests, the emergency stop is pressed, another jog or homing waits or runs).
    std::string ask(const OperatorRequest& request, bool estop_pressed);

    bool offered() const;
    DeskCard card(std::int32_t index) const; // a copy; index 0..63

private:
    mutable std::mutex mutex_; // guards everything below; held only to copy a few fields
    bool offered_ = false;
    std::array<DeskCard, kDeskCards> cards_{};
    std::array<OperatorRequest, kDeskCards> requests_{};
};

// The one desk (never destroyed, as the hub).
OperatorDesk& desk();

} // namespace korva::sim::panel

#endif
