# install.cmake - what `cmake --install` puts where, and the packages CPack makes of it.
#
# Components (one Debian package each; docs/installing.md):
#   runtime  libkorva32.so.1, libkorva32sim.so.1 (Windows: the two DLLs)    libkorva32
#   devel    headers, the .so links / import libraries, CMake package,
#            pkg-config files                                               libkorva32-dev
#   tool     the korva3 program (Windows: korva3.exe, on korva32sim.dll)   korva3
#   windows  (Windows only) README-windows.txt, the examples (C, machine description,
#            G-code, Python), the Python package with the DLLs, the .NET assembly
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KORVA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/korva32)

target_include_directories(korva32 INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(korva32sim INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS korva32 korva32sim EXPORT korva32Targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT devel
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel)
install(FILES include/korva3.h include/korva3_sim.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT devel)
if(WIN32 AND KORVA_LLVM_DLLTOOL)
  # MSVC import libraries (cmake/windows.cmake), beside MinGW's lib*.dll.a.
  install(FILES $<TARGET_FILE_DIR:korva32>/korva32.lib $<TARGET_FILE_DIR:korva32sim>/korva32sim.lib
          DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel)
endif()

# CMake package: find_package(korva32) gives korva32::korva32 and korva32::korva32sim.
install(EXPORT korva32Targets NAMESPACE korva32:: DESTINATION ${KORVA_CMAKE_DIR}
        COMPONENT devel)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/package/korva32Config.cmake.in
  ${PROJECT_BINARY_DIR}/package/korva32Config.cmake INSTALL_DESTINATION ${KORVA_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_LIBDIR)
# Same major version = the same 52 functions and bytes (docs/installing.md: Version policy).
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/korva32ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/korva32Config.cmake
              ${PROJECT_BINARY_DIR}/package/korva32ConfigVersion.cmake
        DESTINATION ${KORVA_CMAKE_DIR} COMPONENT devel)

# pkg-config files, written when installing: their prefix is the one installed to
# (`cmake --install --prefix P`, or /usr in a Debian package). The Windows zip may be
# unpacked anywhere: there the prefix is found from the .pc file's own folder.
if(WIN32)
  file(RELATIVE_PATH korva_pc_up /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" korva_pc_up "${korva_pc_up}")
  set(korva_pc_prefix "\\\${pcfiledir}/${korva_pc_up}") # kept for pkg-config
else()
  set(korva_pc_prefix "\${CMAKE_INSTALL_PREFIX}")
endif()
foreach(pc korva32 korva32sim)
  set(pc_out ${PROJECT_BINARY_DIR}/package/${pc}.pc)
  install(CODE "
    set(KORVA_PC_PREFIX \"${korva_pc_prefix}\")
    set(KORVA_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
    set(KORVA_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
    set(PROJECT_VERSION \"${PROJECT_VERSION}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/cmake/package/${pc}.pc.in\" \"${pc_out}\" @ONLY)"
    COMPONENT devel)
  install(FILES ${pc_out} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT devel)
endforeach()

if(TARGET korva3)
  if(NOT WIN32)
    # Found from any prefix: the library beside it, in ../lib*.
    file(RELATIVE_PATH korva_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(korva3 PROPERTIES INSTALL_RPATH "$ORIGIN/${korva_bin_to_lib}")
  endif()
  install(TARGETS korva3 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
endif()

if(WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/win/README-windows.txt.in
                 ${PROJECT_BINARY_DIR}/package/README-windows.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/package/README-windows.txt DESTINATION . COMPONENT windows)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/windows/korva_app.c
                ${PROJECT_SOURCE_DIR}/win/korva32-machine.toml DESTINATION examples
          COMPONENT windows)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/gcode/bracket.ngc
                ${PROJECT_SOURCE_DIR}/examples/gcode/machine.toml DESTINATION examples/gcode
          COMPONENT windows)
  # The Python package as files, with both DLLs in its own folder, where it looks first
  # (python/korva3/_loader.py); pyproject.toml lets pip install it from there.
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/korva3 DESTINATION python COMPONENT windows
          FILES_MATCHING PATTERN "*.py" PATTERN "py.typed" PATTERN "__pycache__" EXCLUDE)
  install(FILES ${PROJECT_SOURCE_DIR}/python/pyproject.toml DESTINATION python
          COMPONENT windows)
  install(TARGETS korva32 korva32sim RUNTIME DESTINATION python/korva3 COMPONENT windows
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel) # stripped as bin's
  install(FILES ${PROJECT_SOURCE_DIR}/examples/python/first_path.py
                ${PROJECT_SOURCE_DIR}/examples/python/stepwise_path.py
          DESTINATION examples/python COMPONENT windows)
  include(${PROJECT_SOURCE_DIR}/cmake/dotnet_windows.cmake) # dotnet/Korva.dll
endif()

include(${PROJECT_SOURCE_DIR}/cmake/package/cpack.cmake)
