# windows.cmake - how the two DLLs are made on Windows (MinGW-w64), included by the top
# CMakeLists.txt when building for WIN32.
#
# korva_windows_dll(target def [header]) gives a DLL target:
#   - its name without the "lib" prefix (korva32.dll, korva32sim.dll);
#   - its export table from the .def file in win/: the names undecorated, at fixed
#     ordinals, nothing else. The .def names are the 32-bit stdcall symbols (NAME@N); the
#     32-bit DLL is linked with --kill-at so the table carries NAME, and the 64-bit DLL
#     is linked with a copy of the .def without the @N;
#   - the MinGW import library lib<name>.dll.a, made by dlltool from the .def (in place
#     of the linker's, which would name the 32-bit functions undecorated: a MinGW
#     program calls _KORVA3_INITIAL@0 and must find that symbol), and, when llvm-dlltool
#     is found, an import library <name>.lib in the short format MSVC's linker reads.
#     Both import every function by its undecorated name.

find_program(KORVA_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15
             llvm-dlltool-14)

function(korva_windows_dll target def)
  get_filename_component(def_name ${def} NAME)
  get_filename_component(dll_name ${def} NAME_WE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})

  # A DLL whose .def names a header (korva32sim: korva3_sim.h) also exports, by name, the
  # header's functions that the .def does not list yet, with a warning.
  set(header ${ARGN})
  if(header)
    file(READ ${def} def_text)
    file(READ ${header} header_text)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
    string(REGEX MATCHALL "KORVA3_CALL[ \t\r\n]+[A-Za-z0-9_]+[ \t\r\n]*\\([^)]*\\)"
           protos "${header_text}")
    set(extra "")
    foreach(proto IN LISTS protos)
      string(REGEX REPLACE "^KORVA3_CALL[ \t\r\n]+([A-Za-z0-9_]+).*" "\\1" fn "${proto}")
      string(REGEX REPLACE "^[^(]*\\(([^)]*)\\)$" "\\1" params "${proto}")
      string(STRIP "${params}" params)
      if(params STREQUAL "" OR params STREQUAL "void")
        set(bytes 0)
      else()
        string(REGEX MATCHALL "," commas "${params}")
        list(LENGTH commas n)
        math(EXPR bytes "4 * (${n} + 1)")
      endif()
      if(NOT def_text MATCHES "[ \t]${fn}@")
        message(WARNING "${def_name} does not list ${fn}: exported by name anyway; add "
                        "\"${fn}@${bytes}\" to it")
        string(APPEND extra "    ${fn}@${bytes}\n")
      endif()
    endforeach()
    if(extra)
      get_filename_component(def_base ${def} NAME)
      set(def ${PROJECT_BINARY_DIR}/win/full/${def_base})
      file(WRITE ${def}.tmp "${def_text}${extra}")
      configure_file(${def}.tmp ${def} COPYONLY)
    endif()
  endif()

  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(link_def ${def})
    set(lib_machine i386)
    set(lib_flags -k)
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  else()
    file(READ ${def} text)
    string(REGEX REPLACE "([A-Za-z0-9_])@[0-9]+" "\\1" text "${text}")
    set(link_def ${PROJECT_BINARY_DIR}/win/${def_name})
    file(WRITE ${link_def}.tmp "${text}")
    configure_file(${link_def}.tmp ${link_def} COPYONLY)
    set(lib_machine i386:x86-64)
    set(lib_flags)
  endif()

  target_sources(${target} PRIVATE ${link_def})
  set_target_properties(${target} PROPERTIES PREFIX "" IMPORT_PREFIX "lib"
                        IMPORT_SUFFIX ".dll.a" LINK_DEPENDS ${link_def}
                        ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} ${lib_flags} -D ${dll_name}.dll -d ${link_def}
            -l $<TARGET_LINKER_FILE:${target}>
    COMMENT "MinGW import library lib${dll_name}.dll.a"
    VERBATIM)
  if(KORVA_LLVM_DLLTOOL)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${KORVA_LLVM_DLLTOOL} -m ${lib_machine} ${lib_flags} -D ${dll_name}.dll
              -d ${link_def} -l $<TARGET_FILE_DIR:${target}>/${dll_name}.lib
      COMMENT "MSVC import library ${dll_name}.lib"
      VERBATIM)
  else()
    message(STATUS "llvm-dlltool not found: no MSVC import library for ${dll_name}.dll")
  endif()
endfunction()
