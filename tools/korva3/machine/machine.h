// machine.h - the machine the tool drives. Chosen when building (KORVA_TOOL_HARDWARE):
// virtual_machine.cpp and panel_virtual.cpp, the virtual machine inside korva32sim (the
// default), or hardware_machine.cpp and panel_hardware.cpp, real cards through korva32.
// Every KSIM_ call of the tool is in machine/*_virtual.cpp and virtual_machine.cpp.
#ifndef KORVA3_TOOL_MACHINE_H
#define KORVA3_TOOL_MACHINE_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korva3_tool {

// A virtual card to put on the machine: its PCI place and ID switch.
struct CardPlace {
    uint32_t bus = 0;
    uint32_t device = 1;
    uint32_t id_switch = 0;
};

// How to set the virtual machine up (ignored on real hardware).
struct MachineSetup {
    std::vector<CardPlace> cards{CardPlace{}};
    int64_t slice_us = -1;   // slice period in microseconds; -1: the machine's default
    int64_t queue_size = -1; // slices the controller's queue holds; -1: the default
};

using RawFrame = std::array<uint8_t, 13>;

// One position of the path a card executed, at a moment of virtual time.
struct MotionRecord {
    uint32_t t_ms;
    int32_t x, y, z;
    bool jump = false; // new coordinates, not motion (homing found its switch, zero, preset)
};

// What changed a card's positions.
enum class MovedBy { Slice, Axis, Origin };

// Receives, as they happen, the commands each virtual card executes and every change of
// its positions. Called from inside the machine: it must not call the library or the
// machine's functions.
class Observer {
public:
    virtual ~Observer() = default;
    virtual void frame(int index, const RawFrame &frame) = 0;
    virtual void moved(int index, uint64_t t_us, int32_t x, int32_t y, int32_t z,
                       MovedBy by) = 0;
};

namespace machine {

// True for the virtual machine.
bool is_virtual();

// "virtual card" or "real card".
const char *kind();

// Builds the machine (virtual: a fresh machine with these cards, logging off, so long
// jobs stay small). Returns false with a message when that cannot be done.
bool setup(const MachineSetup &setup, std::string &error);

// Milliseconds since some start: the virtual clock, or the host's steady clock.
uint32_t clock_ms();

// The same clock read from another thread (the watchdog) without entering the machine.
uint32_t clock_view_ms();

// Lets ms milliseconds pass (virtual time, or a real sleep on hardware).
void sleep_ms(uint32_t ms);

// The virtual machine's time held to the wall clock (a sender or a person watches it
// move); real cards are there already.
void real_time();

// Hands what the virtual cards execute to `observer` from now on (null: to nobody).
// Nothing on hardware.
void watch(Observer *observer);

// Virtual cards on the machine (0 on hardware).
int card_count();

// The library's card number bound to virtual card `index`, -1 while none.
int card_number(int index);

// Slice period of virtual card `index` in microseconds.
uint32_t slice_period_us(int index);

// Message boxes the library shows are kept from now on (virtual machine) until
// end_messages(), which returns their text ("caption: text" lines). On hardware the
// library prints them itself and this returns "".
void begin_messages();
std::string end_messages();

// The virtual machine's switches, inputs, faults and timing, as KSIM_SET_LIMITS,
// KSIM_SET_HOME, KSIM_SET_INPUTS, KSIM_FAULT and the KSIM_SET_*_PERIOD functions do
// (negative timing values: unchanged). False on real cards and for an unknown index.
bool set_limits(int index, uint32_t axis, int32_t low, int32_t high);
bool set_home(int index, uint32_t axis, int32_t position);
bool set_inputs(int index, uint32_t value);
bool set_fault(int index, uint32_t kind, uint32_t n);
bool set_timing(int index, int64_t slice_us, int64_t queue_size, int64_t status_ms);

// Positions of the virtual cards now, by index (empty on hardware).
std::vector<std::array<int32_t, 3>> card_positions();

// X, Y, Z of the card bound to library card number `card`: the controller's commanded
// positions on the virtual machine, the last status frame's on hardware. False if the
// card number reaches no card.
bool position(uint32_t card, std::array<int32_t, 3> &xyz);

// Starts the virtual machine's front panel on 127.0.0.1:port (0: a free port) and holds
// virtual time to real time, so a person can watch; the address to open in url. False
// with a message on real cards or when the panel cannot start.
bool start_panel(uint32_t port, std::string &url, std::string &error);
// Stops the panel before the tool exits: its requests in flight end while everything
// they use is still there.
void stop_panel();
// True while the emergency stop of a virtual card is pressed on the panel (false on real
// cards). Any thread may ask: it never enters the machine.
bool panel_estop();

// ---- The panel's jog and homing, for an idle machine (korva3 panel) ------------------
// machine/operator_virtual.cpp (KSIM_PANEL_OFFER_JOG and its kin), or operator_hardware.cpp.

// A jog or homing the operator pressed on the panel.
struct PanelRequest {
    int index = 0;       // the virtual card
    bool home = false;   // homing; else a step jog
    uint32_t axis = 1;   // 1..3; homing also 0: every axis
    int32_t pulses = 0;  // the jog's step (signed pulses)
};

// Shows the jog and homing buttons on the panel (and takes their requests) or not.
void offer_jog(bool on);
// The next request pressed on the panel; the card counts as busy on the page until
// report_panel(index, false, ...). False when none waits.
bool take_panel_request(PanelRequest &request);
// What came of card `index`'s request (a line on the page); busy while it runs.
void report_panel(int index, bool busy, const std::string &text);
// The page shows card `index`'s axes in mm with these pulses per mm (0: in pulses).
void set_panel_scale(int index, const std::array<double, 3> &pulses_per_mm);
// True while card `index`'s emergency stop is pressed on the panel.
bool panel_estop_at(int index);

} // namespace machine
} // namespace korva3_tool

#endif
