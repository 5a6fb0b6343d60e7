// session_state.cpp - the session's reader state and what the front ends see of it.
#include "control/session_state.h"

#include "gcode/modal.h"

namespace korva3_control {

namespace kg = korva3_gcode;

SessionState SessionState::fresh(const kg::Settings &settings)
{
    SessionState s;
    s.reader = kg::initial_state(settings);
    return s;
}

std::array<double, 3> SessionState::offset_mm() const
{
    std::array<double, 3> off = reader.coords[reader.coord];
    for (int a = 0; a < 3; a++)
        off[a] += reader.g92_on ? reader.g92[a] : 0;
    off[2] += reader.tool_length;
    return off;
}

ModalView SessionState::modal(const kg::Settings &settings) const
{
    static const char *const kCoords[] = {"G54", "G55", "G56", "G57", "G58",
                                          "G59", "G59.1", "G59.2", "G59.3"};
    ModalView m;
    m.coords = kCoords[reader.coord];
    m.distance = reader.relative ? "G91" : "G90";
    m.units = reader.inches ? "G20" : "G21";
    m.plane = kg::word_text('G', reader.plane);
    m.motion = kg::word_text('G', reader.motion);
    m.feed = reader.feed;
    m.tool = reader.tool;
    m.tool_length_mm = reader.tool_length;
    const kg::OutputTable &o = settings.outputs;
    auto on = [&](int bit) { return bit >= 0 && (reader.outputs >> bit & 1u) != 0; };
    m.spindle = on(o.spindle);
    m.mist = on(o.mist);
    m.flood = on(o.flood);
    for (int a = 0; a < 3; a++) {
        for (std::size_t c = 0; c < m.coords_mm.size(); c++)
            m.coords_mm[c][a] = reader.coords[c][a];
        m.g92_mm[a] = reader.g92_on ? reader.g92[a] : 0;
        m.g28_mm[a] = reader.g28[a];
        m.g30_mm[a] = reader.g30[a];
    }
    return m;
}

} // namespace korva3_control
