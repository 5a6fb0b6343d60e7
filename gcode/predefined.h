// predefined.h - the parameters LinuxCNC predefines, read from the session's state as
// the program reads them:
//   #<_x> #<_y> #<_z>             where the machine stands, program coordinates (units
//                                 in force); #<_abs_x> .. #<_abs_z> machine coordinates
//   #<_motion_mode> #<_plane> #<_coord_system>   the G code in force times ten (G1: 10,
//                                 G17: 170, G54: 540, G59.1: 591)
//   #<_metric> #<_imperial> #<_absolute> #<_incremental> #<_retract_r_plane>
//   #<_retract_old_z> #<_ijk_absolute_mode> #<_tool_offset> #<_spindle_on> #<_mist>
//   #<_flood> ...                 1 or 0
//   #<_feed> #<_rpm>              F and S as written last (G20 / G21 convert neither)
//   #<_current_tool> #<_selected_tool> (-1: none) #<_call_level> #<_vmajor> ...
//   #5161 .. #5163, #5181 .. #5183  the G28 and G30 positions (machine coordinates)
//   #5210 .. #5213                G92's offset in force (1 or 0), its X Y Z
//   #5220                         the work offset in force, 1 (G54) .. 9 (G59.3)
//   #5221 + 20 n ..               work offset n + 1's X Y Z (#5221 G54 .. #5381 G59.3);
//                                 its A .. W and its rotation R (#5230 + 20 n) read 0
//   #5400, #5403                  the tool in use, the tool length in force
//   #5420 .. #5422                the position, program coordinates
// Lengths in the units in force. Parameters of other axes read 0. They are read, not
// kept: the program sets them through G10, G28.1, G92, M61 ... as LinuxCNC's.
#ifndef KORVA3_GCODE_PREDEFINED_H
#define KORVA3_GCODE_PREDEFINED_H

#include "gcode/parameters.h"
#include "gcode/settings.h"
#include "gcode/state.h"

namespace korva3_gcode {

// The value of `ref` when it is one of these (false: an ordinary parameter).
bool predefined_value(const State &state, const Settings &settings, const ParamRef &ref,
                      double &value);

} // namespace korva3_gcode

#endif
