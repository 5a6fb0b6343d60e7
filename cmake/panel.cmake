# panel.cmake - the front panel of the virtual machine (sim/panel/), part of korva32sim.
# Its web server is cpp-httplib with nlohmann-json (Debian: libcpp-httplib-dev,
# nlohmann-json3-dev). Debian's cpp-httplib is a compiled library for the host only, so
# Windows builds (and builds without it) get the panel's other half: KSIM_PANEL_START
# answers -1 there; the pace works everywhere.

# The page: sim/panel/page/ (HTML, CSS, JS) put together into one C++ source at build time.
file(GLOB KORVA_PANEL_PAGE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sim/panel/page/*)
set(KORVA_PANEL_PAGE_CPP ${CMAKE_BINARY_DIR}/generated/panel_page.cpp)
add_custom_command(OUTPUT ${KORVA_PANEL_PAGE_CPP}
  COMMAND ${CMAKE_COMMAND} -DPAGE_DIR=${PROJECT_SOURCE_DIR}/sim/panel/page
          -DOUT=${KORVA_PANEL_PAGE_CPP} -P ${PROJECT_SOURCE_DIR}/cmake/embed_page.cmake
  DEPENDS ${KORVA_PANEL_PAGE_FILES} ${PROJECT_SOURCE_DIR}/cmake/embed_page.cmake
  COMMENT "the panel's page into ${KORVA_PANEL_PAGE_CPP}" VERBATIM)

set(KORVA_PANEL_COMMON_SOURCES
  ${KORVA_PANEL_PAGE_CPP}
  ${PROJECT_SOURCE_DIR}/sim/panel/hub.cpp
  ${PROJECT_SOURCE_DIR}/sim/panel/control.cpp
  ${PROJECT_SOURCE_DIR}/sim/panel/operator_desk.cpp
  ${PROJECT_SOURCE_DIR}/sim/panel/job_board.cpp
  ${PROJECT_SOURCE_DIR}/sim/panel/command_box.cpp
  ${PROJECT_SOURCE_DIR}/sim/panel/ksim_panel_api.cpp)

set(KORVA_PANEL OFF)
if(NOT WIN32)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(KORVA_HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
  endif()
  if(KORVA_HTTPLIB_FOUND AND TARGET nlohmann_json::nlohmann_json) # header_libraries.cmake
    set(KORVA_PANEL ON)
  endif()
endif()

if(KORVA_PANEL)
  target_sources(korva_vm PRIVATE ${KORVA_PANEL_COMMON_SOURCES}
                 ${PROJECT_SOURCE_DIR}/sim/panel/server_httplib.cpp
                 ${PROJECT_SOURCE_DIR}/sim/panel/guarded_server.cpp
                 ${PROJECT_SOURCE_DIR}/sim/panel/head_gate.cpp
                 ${PROJECT_SOURCE_DIR}/sim/panel/request_head.cpp
                 ${PROJECT_SOURCE_DIR}/sim/panel/socket_stream.cpp
                 ${PROJECT_SOURCE_DIR}/sim/panel/requests.cpp
                 ${PROJECT_SOURCE_DIR}/sim/panel/operator_requests.cpp)
  target_link_libraries(korva_vm PRIVATE PkgConfig::KORVA_HTTPLIB nlohmann_json::nlohmann_json)
  target_link_libraries(korva32sim PRIVATE PkgConfig::KORVA_HTTPLIB)
  message(STATUS "korva32sim: front panel on (cpp-httplib ${KORVA_HTTPLIB_VERSION})")
else()
  target_sources(korva_vm PRIVATE ${KORVA_PANEL_COMMON_SOURCES}
                 ${PROJECT_SOURCE_DIR}/sim/panel/server_none.cpp)
  message(STATUS "korva32sim: no front panel in this build (needs cpp-httplib, nlohmann-json)")
endif()
