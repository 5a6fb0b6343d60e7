// server.h - the panel's web server (server_httplib.cpp, or server_none.cpp where the
// build has no HTTP library). Called with the panel's control mutex held.
#ifndef KORVA_SIM_PANEL_SERVER_H
#define KORVA_SIM_PANEL_SERVER_H

#include <cstdint>
#include <string>

namespace korva::sim::panel {

// Serves the page on 127.0.0.1:port (0: a free one). Result: the port, or -1 with a reason.
std::int32_t server_start(std::uint32_t port, std::string& url, std::string& error);
void server_stop();
bool server_available();

} // namespace korva::sim::panel

#endif
