# cpack.cmake - packages made by `cpack` in the build folder (top-level builds only):
#   Linux:   Debian packages libkorva32, libkorva32-dev, korva3 (packages/*.deb)
#   Windows: one zip per architecture, korva32-VERSION-win32.zip / -win64.zip
if(NOT KORVA_TOP_LEVEL)
  return()
endif()

set(CPACK_PACKAGE_NAME korva32)
set(CPACK_PACKAGE_VENDOR "KORVA32 developers")
set(CPACK_PACKAGE_CONTACT "KORVA32 developers <dev@korva.local>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_STRIP_FILES ON) # no debugging symbols in the packages (exports are kept)

set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "KORVA three-axis PCI motion card library\nlibkorva32.so drives the card through 52 KORVA3_ functions; libkorva32sim.so\nis the same library over a virtual card, for programs and tests without one.")
set(CPACK_DEBIAN_DEVEL_DESCRIPTION
    "KORVA three-axis PCI motion card library: development files\nHeaders korva3.h and korva3_sim.h, the CMake package korva32 and the\npkg-config files korva32.pc and korva32sim.pc.")
set(CPACK_DEBIAN_TOOL_DESCRIPTION
    "KORVA three-axis PCI motion card: the korva3 tool\nRuns job files (one library call a line) on the virtual card and draws what\nthe card did.")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON) # korva32-VERSION-winNN/...
  set(CPACK_COMPONENTS_ALL runtime devel windows)
  if(TARGET korva3)
    list(APPEND CPACK_COMPONENTS_ALL tool) # bin/korva3.exe beside the DLLs
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME korva32-${PROJECT_VERSION}-win32)
  else()
    set(CPACK_PACKAGE_FILE_NAME korva32-${PROJECT_VERSION}-win64)
  endif()
  set(CPACK_ARCHIVE_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime devel)
  if(TARGET korva3)
    list(APPEND CPACK_COMPONENTS_ALL tool)
  endif()
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION misc)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Dependencies on the C and C++ runtimes from dpkg-shlibdeps; the tool's on our own
  # library come from the line below (the build folder holds it while packaging).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkorva32)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_DEVEL_PACKAGE_NAME libkorva32-dev)
  set(CPACK_DEBIAN_DEVEL_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVEL_PACKAGE_DEPENDS "libkorva32 (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_TOOL_PACKAGE_NAME korva3)
  set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libkorva32 (= ${PROJECT_VERSION})")
endif()

include(CPack)
