# Shared part of the MinGW-w64 toolchain files (mingw-i686.cmake, mingw-x86_64.cmake):
# cross-compiling for Windows from Linux with Debian's MinGW-w64 compilers.
#
# The -posix compilers are used because the virtual machine of korva32sim uses
# std::mutex, which needs the posix thread model (winpthread, linked statically).
# Programs built here run on Linux through Wine (the cross-compiling emulator).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 5.1)

set(CMAKE_C_COMPILER ${KORVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVA_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${KORVA_MINGW_TRIPLE}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and tools run under Wine (ctest puts this in front). 64-bit programs go straight
# to Wine's 64-bit loader: Debian's `wine` command always starts the 32-bit loader when
# wine32 is installed, and that fails on a machine that runs 64-bit programs only.
if(KORVA_MINGW_TRIPLE MATCHES "^x86_64")
  find_program(KORVA_WINE_LOADER NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine
               NO_DEFAULT_PATH)
  find_program(KORVA_WINE_LOADER NAMES wine64 wine)
else()
  find_program(KORVA_WINE_LOADER wine)
endif()
if(KORVA_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVA_WINE_LOADER})
endif()
