// ksim_panel_api.cpp - the KSIM_ functions of the front panel and the pace.
#include <cstring>

#include "korva3_sim.h"
#include "hub.h"
#include "operator_desk.h"
#include "job_board.h"
#include "command_box.h"
#include "panel.h"

namespace panel = korva::sim::panel;

extern "C" KORVA3_API int32_t KORVA3_CALL KSIM_PANEL_START(uint32_t port)
{
    return panel::start(port, false);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_URL(char* text, uint32_t size)
{
    const std::string url = panel::url();
    if (text != nullptr && size > 0) {
        const std::size_t n = url.size() < size ? url.size() : size - 1;
        std::memcpy(text, url.data(), n);
        text[n] = '\0';
    }
    return static_cast<uint32_t>(url.size());
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_PANEL_STOP(void)
{
    panel::stop();
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_PACE(uint32_t percent)
{
    panel::set_pace(percent);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_ESTOP(int32_t index)
{
    return panel::hub().estop_pressed(index) ? 1u : 0u;
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_PANEL_OFFER_JOG(uint32_t on)
{
    panel::desk().offer(on != 0);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_TAKE_REQUEST(int32_t* index, uint32_t* kind,
                                                                 uint32_t* axis, int32_t* pulses)
{
    panel::OperatorRequest r;
    if (!panel::desk().take(r))
        return 0;
    if (index)
        *index = r.card;
    if (kind)
        *kind = r.kind;
    if (axis)
        *axis = r.axis;
    if (pulses)
        *pulses = r.pulses;
    return 1;
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_PANEL_REPORT(int32_t index, uint32_t busy,
                                                        const char* text)
{
    panel::desk().report(index, busy != 0, text ? text : "");
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_PANEL_SET_SCALE(int32_t index, uint32_t axis,
                                                           double pulses_per_mm)
{
    panel::desk().set_scale(index, axis, pulses_per_mm);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_JOB(const char* description,
                                                          uint32_t controls)
{
    return panel::job_board().describe(description, controls) ? 1u : 0u;
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_JOB_STATE(const char* state)
{
    return panel::job_board().publish(state) ? 1u : 0u;
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_JOB_REQUESTS(uint32_t* override_percent)
{
    return panel::job_board().requests(override_percent);
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_PANEL_TAKE_COMMAND(char* text, uint32_t size)
{
    std::string line;
    if (text == nullptr || size <= panel::kMaxCommandBytes || !panel::command_box().take(line))
        return 0;
    std::memcpy(text, line.c_str(), line.size() + 1);
    return static_cast<uint32_t>(line.size());
}
