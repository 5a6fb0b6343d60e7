// executor.h - runs a read program on a card through the library's functions.
//
// Lines go as the library's stepwise lines (KORVA3_INTP_LINE02 in a plane, or
// KORVA3_INTP_XYZ02), arcs and circles as its stepwise arcs and circles; a polling loop
// (KORVA3_INTP_STOP, KORVA3_GET_CARD) sends each path batch by batch, and between
// batches the caller sees the status and may change the feed override or stop. Moves
// follow each other without waiting: the card's queue carries the path on. Dwells,
// outputs, M0 and the end wait until the card is idle.
#ifndef KORVA3_GCODE_EXECUTOR_H
#define KORVA3_GCODE_EXECUTOR_H

#include <cstdint>
#include <functional>

#include "gcode/program.h"

namespace korva3_gcode {

// What the caller hears between batches, and what it answers.
struct Progress {
    const Move *move;    // the move being sent
    uint32_t status;     // KORVA3_GET_CARD's result: the card's status register
};
struct Control {
    bool stop = false;        // stop at once (KORVA3_EMG_STOP): the run fails
    uint32_t override = 100;  // feed override, percent of the program's speed (1..1000)
};

struct Hooks {
    std::function<Control(const Progress &)> poll;  // between batches; may be empty
    std::function<void(uint32_t ms)> sleep;         // lets ms pass (G4); may be empty
    std::function<bool(int line)> pause;            // M0, the card idle: false stops
};

enum class RunEnd { Done, Stopped, Paused, Refused };

// Sets the card's ramps (KORVA3_SET_VAR) and runs the program's moves on card `card`
// (initialised and registered by the caller). Returns Done when every move was sent
// and the card came to rest, Stopped when poll asked to stop, Paused when M0's pause
// answered false, Refused when the library would not take a move (a card it cannot
// reach); `line` is then the program line where it ended.
RunEnd run_program(const Program &program, const Settings &settings, uint32_t card,
                   const Hooks &hooks, int &line);

} // namespace korva3_gcode

#endif
