// state.h - what a G-code session keeps from line to line and from program to program:
// the modal state, the work offsets, G92, the tool table and the tool in use, the G28
// and G30 positions, where the machine stands and the outputs the program set. The
// owner of the machine keeps one State (with the Parameters of parameters.h) and
// hands it to each program and MDI line it reads (stream.h), as LinuxCNC's task
// keeps its interpreter's: a program starts where the last one, an MDI line, a jog
// or a touch-off left the machine.
#ifndef KORVA3_GCODE_STATE_H
#define KORVA3_GCODE_STATE_H

#include <array>
#include <cstdint>
#include <map>

#include "gcode/modal.h"
#include "gcode/move.h"
#include "gcode/settings.h"

namespace korva3_gcode {

struct State {
    int motion = kMotionOff; // GCode of the motion mode in force
    int plane = kPlaneXY;    // GCode of the arcs' plane
    bool inches = false;     // G20
    bool relative = false;   // G91
    double feed = 0;         // program units per minute
    bool exact_stop = false; // G61, G61.1: the machine stands at the end of every move
    double tolerance = -1;   // G64 P, mm; < 0: the machine's path tolerance (G64 alone)
    MmPoint pos{};           // machine position, mm (from where the card stood at the start)
    std::array<MmPoint, 9> coords{}; // work offsets G54 .. G59.3, mm from the machine's zero
    int coord = 0;           // the work offset in force: 0 = G54 .. 8 = G59.3
    MmPoint g92{};           // G92's offset, mm (kept while suspended by G92.2)
    bool g92_on = true;      // G92's offset in force (G92.2 suspends, G92.3 restores)
    double tool_length = 0;  // G43, G43.1: mm added to Z
    std::map<int, double> tool_lengths; // the tool table, mm (machine file, G10 L1/L10/L11);
                                        // at most 99999 tools
    MmPoint g28{}, g30{};    // G28 and G30's positions, mm from the machine's zero
    int tool = 0;            // the tool in use (M6), 0 = none
    int selected = -1;       // the tool T selected last, -1 = none yet
    uint32_t outputs = 0;    // the card's output bits as set by the program
    bool arc_absolute = false; // G90.1: I J K are the centre's coordinates
    double rpm = 0;          // S, as written (taken, not used)
    double f_word = 0;       // F, as written last (#<_feed>: not converted by G20 / G21)
    bool retract_r = true;   // G99 (at the start): cycles retract to R; G98: to the initial Z
    std::map<char, double> cycle_words; // Z R Q P of the cycle in force, as written
    bool cycle_series = false; // a canned cycle has drilled since the motion mode became one
    double initial_z = 0;    // machine mm: Z where that series began (G98's level, and G91's
                             // R is measured from it)
};

// A session's start: the machine file's work offsets, tool table, G28 and G30
// positions; the machine at its zero; the modes LinuxCNC starts in.
State initial_state(const Settings &settings);

// The owner's jog or homing: the machine stands at `machine_mm` now.
inline void set_position(State &state, const MmPoint &machine_mm) { state.pos = machine_mm; }

// The work offset (in force) on `axis` (0 = X .. 2 = Z) that makes the point where the
// machine stands read `value` (mm) there, G92's offset and the tool length counted, as
// G10 L20 P0 sets it.
double offset_for(const State &state, int axis, double value);

// A touch-off: the work offset in force gets offset_for(state, axis, value), where
// `value` is in the program's units in force (G20: inches), as G10 L20 P0 X.. does.
void touch_off(State &state, int axis, double value);

} // namespace korva3_gcode

#endif
