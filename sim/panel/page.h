// page.h - the panel's one page: markup, style and script, nothing fetched from outside.
// Its files are in sim/panel/page/ (index.html, *.css, *.js), put together into one text
// when the library is built (cmake/embed_page.cmake). It reads the token from its own
// address and sends it with every request.
#ifndef KORVA_SIM_PANEL_PAGE_H
#define KORVA_SIM_PANEL_PAGE_H

#include <string>

namespace korva::sim::panel {

// The whole page, styles and scripts in it.
std::string page_text();

} // namespace korva::sim::panel

#endif
