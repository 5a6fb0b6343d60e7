# header_libraries.cmake - the two header-only libraries the build uses: toml11 (machine
# descriptions, G-code machine files) and nlohmann/json (the tool's traces, the panel).
#
# Each is found, in this order:
#   1. as a CMake package: find_package(toml11 CONFIG), find_package(nlohmann_json 3
#      CONFIG), as vcpkg, MSYS2, Conan or Debian install them (CMAKE_PREFIX_PATH, or
#      toml11_DIR / nlohmann_json_DIR, points at another place);
#   2. by its header, toml.hpp or nlohmann/json.hpp (KORVA_TOML11_INCLUDE_DIR,
#      KORVA_JSON_INCLUDE_DIR name the folder when it is nowhere CMake looks);
#   3. cross-builds only: in the build machine's KORVA_HOST_INCLUDE_DIR (/usr/include:
#      Debian's libtoml11-dev, nlohmann-json3-dev). That folder can't be handed to a
#      cross compiler whole (its C library headers are the host's), so a folder in the
#      build tree links only these libraries' headers.
# Either way the targets are toml11::toml11 and nlohmann_json::nlohmann_json, and
# KORVA_HOST_HEADERS lists their include folders (for targets that compile the sources
# rather than link them). toml11 is needed always (korva32sim reads machine
# descriptions); nlohmann/json for the tool (KORVA_BUILD_TOOLS) and the front panel.
set(KORVA_HOST_INCLUDE_DIR /usr/include CACHE PATH
    "Cross-builds: the build machine's folder holding toml11 and nlohmann/json headers")
set(KORVA_HOST_HEADERS "")

# korva_header_library(PACKAGE TARGET VERSION HEADER VAR ENTRIES...): ENTRIES are the
# files and folders of the library in its include folder (linked for a cross-build).
function(korva_header_library package target version header var)
  find_package(${package} ${version} CONFIG QUIET)
  if(TARGET ${target})
    get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    set(from "CMake package ${${package}_DIR}")
  else()
    find_path(${var} ${header} DOC "Folder holding ${header}")
    if(${var})
      set(dirs ${${var}})
      set(from "${dirs}")
    elseif(CMAKE_CROSSCOMPILING)
      find_path(${var}_HOST ${header} PATHS ${KORVA_HOST_INCLUDE_DIR}
                NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
      if(NOT ${var}_HOST)
        return()
      endif()
      set(dirs ${PROJECT_BINARY_DIR}/host_headers)
      foreach(entry ${ARGN})
        if(NOT EXISTS ${dirs}/${entry})
          file(MAKE_DIRECTORY ${dirs})
          file(CREATE_LINK ${${var}_HOST}/${entry} ${dirs}/${entry} SYMBOLIC)
        endif()
      endforeach()
      set(from "the build machine's ${${var}_HOST}")
    else()
      return()
    endif()
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${dirs}")
  endif()
  message(STATUS "korva32: ${package} from ${from}")
  set(KORVA_HOST_HEADERS ${KORVA_HOST_HEADERS} ${dirs} PARENT_SCOPE)
endfunction()

korva_header_library(toml11 toml11::toml11 "" toml.hpp KORVA_TOML11_INCLUDE_DIR toml toml.hpp)
korva_header_library(nlohmann_json nlohmann_json::nlohmann_json 3 nlohmann/json.hpp
                     KORVA_JSON_INCLUDE_DIR nlohmann)
list(REMOVE_DUPLICATES KORVA_HOST_HEADERS)

set(korva_hint "a CMake package (CMAKE_PREFIX_PATH), or its headers' folder")
if(NOT TARGET toml11::toml11)
  message(FATAL_ERROR "toml11 not found (machine descriptions need it): give ${korva_hint} "
          "as KORVA_TOML11_INCLUDE_DIR (Debian: libtoml11-dev; vcpkg, MSYS2: toml11)")
endif()
if(NOT TARGET nlohmann_json::nlohmann_json AND KORVA_BUILD_TOOLS)
  message(FATAL_ERROR "nlohmann/json not found (the korva3 tool needs it): give ${korva_hint} "
          "as KORVA_JSON_INCLUDE_DIR (Debian: nlohmann-json3-dev; vcpkg: nlohmann-json; "
          "MSYS2: nlohmann-json), or -DKORVA_BUILD_TOOLS=OFF")
endif()
