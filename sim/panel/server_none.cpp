// server_none.cpp - builds without an HTTP library (Windows): the panel says so.
#include "server.h"

namespace korva::sim::panel {

std::int32_t server_start(std::uint32_t, std::string&, std::string& error)
{
    error = "this build of the virtual card has no front panel (it needs cpp-httplib)";
    return -1;
}

void server_stop() {}

bool server_available() { return false; }

} // namespace korva::sim::panel
