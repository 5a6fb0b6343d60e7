// panel_job_hardware.cpp - real cards have no panel: nothing is shown, nothing asked.
#include "machine/panel_job.h"

namespace korva3_tool::machine {

bool panel_describe_job(const std::string &, uint32_t) { return false; }
bool panel_publish_job(const std::string &) { return false; }
uint32_t panel_job_requests(uint32_t &percent)
{
    percent = 100;
    return 0;
}
bool panel_take_line(std::string &) { return false; }

} // namespace korva3_tool::machine
