# Toolchain file: 32-bit Windows (korva32.dll as the card's applications know it), built
# with Debian's MinGW-w64 (package g++-mingw-w64-i686-posix).
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KORVA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
