# host_headers.cmake - header-only libraries from the build machine's Debian packages
# (toml11: libtoml11-dev, nlohmann/json: nlohmann-json3-dev), usable by every build,
# the MinGW cross-builds included. /usr/include itself can't be handed to a cross
# compiler (its C library headers are the host's), so a folder in the build tree links
# only these libraries' headers, and targets add it as a system include folder.
set(KORVA_HOST_HEADERS ${PROJECT_BINARY_DIR}/host_headers)
foreach(entry toml toml.hpp nlohmann)
  set(source /usr/include/${entry})
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "${source} not found: install libtoml11-dev and nlohmann-json3-dev")
  endif()
  if(NOT EXISTS ${KORVA_HOST_HEADERS}/${entry})
    file(MAKE_DIRECTORY ${KORVA_HOST_HEADERS})
    file(CREATE_LINK ${source} ${KORVA_HOST_HEADERS}/${entry} SYMBOLIC)
  endif()
endforeach()
