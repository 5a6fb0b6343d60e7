// state.cpp - a session's state at its start, and a touch-off.
#include "gcode/state.h"

namespace korva3_gcode {

State initial_state(const Settings &settings)
{
    State st;
    for (int i = 0; i < 9; i++)
        st.coords[i] = settings.work_offsets[i];
    st.tool_lengths = settings.tool_lengths;
    st.g28 = settings.g28;
    st.g30 = settings.g30;
    return st;
}

double offset_for(const State &state, int axis, double value)
{
    const double others =
        (state.g92_on ? state.g92[axis] : 0) + (axis == 2 ? state.tool_length : 0);
    return state.pos[axis] - others - value;
}

void touch_off(State &state, int axis, double value)
{
    state.coords[state.coord][axis] = offset_for(state, axis, value * (state.inches ? 25.4 : 1));
}

} // namespace korva3_gcode
