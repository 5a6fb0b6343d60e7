# dotnet_windows.cmake - Korva.dll, the .NET assembly of the Windows zips, built in a
# MinGW build folder with the build machine's Mono compiler (Debian: mono-mcs). It is IL
# only: one assembly serves 32-bit programs (StdCall, as korva32.dll's functions are) and
# 64-bit ones (one convention there). Its sources are bindings/dotnet/*.cs but the
# example and the virtual card's declarations (Korva3SimNative.cs, compiled in by a
# program that uses the KSIM_ functions), as in the Linux build's Korva.dll.
find_program(KORVA_MCS mcs)
if(NOT KORVA_MCS)
  message(STATUS "korva32: no mcs, the Windows zip has no Korva.dll (Debian: mono-mcs)")
  return()
endif()
file(GLOB korva_dotnet_all CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bindings/dotnet/*.cs)
set(korva_dotnet_sources ${korva_dotnet_all})
list(FILTER korva_dotnet_sources EXCLUDE REGEX "/(Example|Korva3SimNative)\\.cs$")
set(KORVA_DOTNET_ASSEMBLY ${PROJECT_BINARY_DIR}/dotnet/Korva.dll)
add_custom_command(OUTPUT ${KORVA_DOTNET_ASSEMBLY}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/dotnet
  COMMAND ${KORVA_MCS} -nologo -warnaserror -target:library -out:${KORVA_DOTNET_ASSEMBLY}
          ${korva_dotnet_sources}
  DEPENDS ${korva_dotnet_sources} VERBATIM)
add_custom_target(korva_dotnet_assembly ALL DEPENDS ${KORVA_DOTNET_ASSEMBLY})
install(FILES ${KORVA_DOTNET_ASSEMBLY} ${korva_dotnet_all} DESTINATION dotnet COMPONENT windows)
