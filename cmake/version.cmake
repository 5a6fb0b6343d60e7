# version.cmake - the project's one version (project(VERSION) in the top CMakeLists.txt)
# where it shows outside CMake.
#
# korva3.h carries it as KORVA3_VERSION_MAJOR/_MINOR/_PATCH for programs: the header is
# installed as it is, so it is kept in step by hand and checked here, at every configure.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/korva3.h korva_version_lines
     REGEX "^#define KORVA3_VERSION_(MAJOR|MINOR|PATCH) +[0-9]+")
foreach(part MAJOR MINOR PATCH)
  set(korva_header_${part} "")
  foreach(line IN LISTS korva_version_lines)
    if(line MATCHES "^#define KORVA3_VERSION_${part} +([0-9]+)")
      set(korva_header_${part} ${CMAKE_MATCH_1})
    endif()
  endforeach()
endforeach()
set(korva_header_version "${korva_header_MAJOR}.${korva_header_MINOR}.${korva_header_PATCH}")
if(NOT korva_header_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "include/korva3.h says version ${korva_header_version}, project() says "
                      "${PROJECT_VERSION}: set KORVA3_VERSION_MAJOR/_MINOR/_PATCH to match")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/korva3.h)

# korva_version_resource(target description): a VERSIONINFO resource (file and product
# version, description, product name) linked into a Windows DLL. windres makes a COFF
# object of it; the export table is not touched.
function(korva_version_resource target description)
  if(CMAKE_RC_COMPILER)
    set(windres ${CMAKE_RC_COMPILER})
  else()
    find_program(windres NAMES ${KORVA_MINGW_TRIPLE}-windres windres REQUIRED)
  endif()
  set(KORVA_RC_NAME ${target})
  set(KORVA_RC_DESCRIPTION "${description}")
  set(rc ${PROJECT_BINARY_DIR}/win/${target}_version.rc)
  set(obj ${PROJECT_BINARY_DIR}/win/${target}_version.res.obj)
  configure_file(${PROJECT_SOURCE_DIR}/win/version.rc.in ${rc} @ONLY)
  add_custom_command(OUTPUT ${obj}
    COMMAND ${windres} --input-format=rc --output-format=coff -i ${rc} -o ${obj}
    DEPENDS ${rc} ${PROJECT_SOURCE_DIR}/win/version.rc.in
    COMMENT "Version resource of ${target}.dll"
    VERBATIM)
  target_sources(${target} PRIVATE ${obj})
endfunction()
