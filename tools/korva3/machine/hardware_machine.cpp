// hardware_machine.cpp - the tool on real cards: no machine to set up, real time, and
// positions from the cards' status frames. What the card received is not known here,
// and the virtual machine's settings do not exist.
#include <chrono>
#include <thread>

#include "korva3.h"
#include "machine/machine.h"

namespace korva3_tool::machine {

bool is_virtual() { return false; }

const char *kind() { return "real card"; }

bool setup(const MachineSetup &, std::string &) { return true; }

uint32_t clock_view_ms() { return clock_ms(); }

uint32_t clock_ms()
{
    static const auto start = std::chrono::steady_clock::now();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count());
}

void sleep_ms(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void real_time() {}

void watch(Observer *) {}

int card_count() { return 0; }

int card_number(int) { return -1; }

uint32_t slice_period_us(int) { return 1000; }

void begin_messages() {}

std::string end_messages() { return ""; }

bool set_limits(int, uint32_t, int32_t, int32_t) { return false; }
bool set_home(int, uint32_t, int32_t) { return false; }
bool set_inputs(int, uint32_t) { return false; }
bool set_fault(int, uint32_t, uint32_t) { return false; }
bool set_timing(int, int64_t, int64_t, int64_t) { return false; }

std::vector<std::array<int32_t, 3>> card_positions() { return {}; }

bool position(uint32_t card, std::array<int32_t, 3> &xyz)
{
    if (card > 15 || KORVA3_GET_CARD(card) == 0)
        return false;
    xyz = {KORVA3_GET_XC(card), KORVA3_GET_YC(card), KORVA3_GET_ZC(card)};
    return true;
}

} // namespace korva3_tool::machine
