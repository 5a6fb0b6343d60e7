// path_moves.h - a read program as the motion planner's path: its lines and arcs in
// machine millimetres with their feeds, and a Stop wherever the machine must stand
// (dwells, outputs, M0, the end), numbered by the move's index in program.moves.
#ifndef KORVA3_GCODE_PATH_MOVES_H
#define KORVA3_GCODE_PATH_MOVES_H

#include <vector>

#include "gcode/program.h"
#include "planner/limits.h"
#include "planner/path.h"

namespace korva3_gcode {

// A program's feeds and the machine file's speeds are mm/min; the planner's are mm/s.
// path_moves and planner_limits convert them, once.
constexpr double kSecondsPerMinute = 60;

std::vector<korva3_planner::PathMove> path_moves(const Program &program);

// One move as the planner takes it: a line or an arc, or a Stop with `action` (the
// caller's number for it) for every other.
korva3_planner::PathMove path_move(const Move &move, uint32_t action);

// The planner's limits from the machine settings.
korva3_planner::Limits planner_limits(const Settings &settings);

// The run's time on the card, ms: every slice the planner makes at the slice period,
// plus the dwells (the same slices a run sends).
double planned_ms(const Program &program, const Settings &settings, uint64_t *slices = nullptr);

} // namespace korva3_gcode

#endif
