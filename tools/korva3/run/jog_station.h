// jog_station.h - the operator's jog and homing on an idle machine (korva3 panel): takes
// what was pressed on the panel, on the thread that owns the cards, and runs it with the
// library's functions: a step jog is KORVA3_PULSE_MOVE of exactly the step, homing is
// KORVA3_BACK_HOME (every axis: Z first, then X, then Y). One request per card at a
// time; none while the card's emergency stop is pressed or its axes move.
#ifndef KORVA3_TOOL_JOG_STATION_H
#define KORVA3_TOOL_JOG_STATION_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "machine/machine.h"

namespace korva3_tool {

struct JogSettings {
    std::array<double, 3> scale{};        // pulses per mm of X, Y, Z; 0: shown in pulses
    std::array<uint32_t, 3> speed{{100, 100, 100}}; // jog speed, pulses per ms (1..2040)
    uint32_t home_speed = 50;   // homing speed (the card's high_speed), pulses per ms
    uint32_t accel = 10;        // the card's ramps (KORVA3_SET_VAR): pulses per ms, per ms
    uint32_t start_speed = 10;  // pulses per ms
    uint32_t card_var = 10;
};

class JogStation {
public:
    explicit JogStation(const JogSettings &settings) : settings_(settings) {}

    // One turn of the tool's loop: follows the motion under way and takes the next
    // request. Call every few milliseconds from the thread that owns the cards.
    void poll();
    // Its two halves, for a loop that hands some requests elsewhere.
    void follow_all();
    void take(const machine::PanelRequest &request);

private:
    struct Running {
        uint32_t card = 0;          // the library's card number
        bool home = false;
        std::vector<uint32_t> axes; // still to home, after `axis`
        uint32_t axis = 1;          // the axis moving now
        int32_t pulses = 0;         // the jog's step
        int32_t target = 0;         // where the jog ends (pulses)
        std::string what;           // "jog X+ 1 mm", "homing X"
        std::string done;           // axes homed so far
        int idle_seen = 0;          // polls in a row that found the axis at rest
    };

    void start_axis(int index, Running &run);
    void follow(int index, Running &run);
    std::string where(uint32_t card, uint32_t axis) const; // "X at 1.000 mm"
    std::string amount(uint32_t axis, int32_t pulses) const; // "+1 mm", "-10 pulses"

    JogSettings settings_;
    std::vector<Running> running_;   // by virtual card index
    std::vector<bool> active_;
};

} // namespace korva3_tool

#endif
