// ksim_panel_api.cpp - the KSIM_ functions of the front panel and the pace.
#include <cstring>

#include "korva3_sim.h"
#include "hub.h"
#include "job_board.h"
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
