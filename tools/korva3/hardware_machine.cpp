// hardware_machine.cpp - the tool on real cards: no machine to set up, real time, and
// positions from the cards' status frames. What the card received is not known here.
#include <chrono>
#include <thread>

#include "korva3.h"
#include "machine.h"

namespace korva3_tool::machine {

bool is_virtual() { return false; }

const char *kind() { return "real card"; }

bool setup(const MachineSetup &, std::string &) { return true; }

uint32_t clock_ms()
{
    static const auto start = std::chrono::steady_clock::now();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count());
}

void sleep_ms(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::vector<CardActivity> take_activity() { return {}; }

std::vector<std::array<int32_t, 3>> card_positions() { return {}; }

bool position(uint32_t card, std::array<int32_t, 3> &xyz)
{
    if (card > 15 || KORVA3_GET_CARD(card) == 0)
        return false;
    xyz = {KORVA3_GET_XC(card), KORVA3_GET_YC(card), KORVA3_GET_ZC(card)};
    return true;
}

} // namespace korva3_tool::machine
