// panel_job_virtual.cpp - the running job on the virtual machine's panel.
#include "korva3_sim.h"
#include "machine/panel_job.h"

namespace korva3_tool::machine {

bool panel_describe_job(const std::string &description, uint32_t controls)
{
    return KSIM_PANEL_JOB(description.c_str(), controls) == 1;
}

bool panel_publish_job(const std::string &state)
{
    return KSIM_PANEL_JOB_STATE(state.c_str()) == 1;
}

uint32_t panel_job_requests(uint32_t &percent)
{
    return KSIM_PANEL_JOB_REQUESTS(&percent);
}

bool panel_take_line(std::string &line)
{
    char text[300];
    const uint32_t n = KSIM_PANEL_TAKE_COMMAND(text, sizeof text);
    if (n == 0)
        return false;
    line.assign(text, n);
    return true;
}

} // namespace korva3_tool::machine
