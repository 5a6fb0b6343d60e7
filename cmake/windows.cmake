# windows.cmake - how the two DLLs are made on Windows (MinGW-w64), included by the top
# CMakeLists.txt when building for WIN32.
#
# korva_windows_dll(target TABLES table... [HEADER header]) gives a DLL target:
#   - its name without the "lib" prefix (korva32.dll, korva32sim.dll);
#   - its export table from a .def file made here from the tables in win/ (exports.tsv:
#     the 52 functions; ksim_exports.tsv: the simulator's own), rows "NAME<TAB>ORDINAL
#     <TAB>ARGUMENT SLOTS[<TAB>FIRST NAME]": the names undecorated, at fixed ordinals
#     ("-": by name only), a second name at its first name's address, nothing else. The
#     32-bit .def names the stdcall symbols (NAME@N, N = 4 x slots) and the DLL is linked
#     with --kill-at so the table carries NAME; the 64-bit .def names NAME alone;
#   - the MinGW import library lib<name>.dll.a, made by dlltool from the .def (in place
#     of the linker's, which would name the 32-bit functions undecorated: a MinGW
#     program calls _KORVA3_INITIAL@0 and must find that symbol), and, when llvm-dlltool
#     is found, an import library <name>.lib in the short format MSVC's linker reads.
#     Both import every function by its undecorated name.

find_program(KORVA_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15
             llvm-dlltool-14)

function(korva_windows_dll target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "HEADER" "TABLES")
  set(dll_name ${target})
  set(def_lines "")
  set(names "")
  set(ordinals "")
  foreach(table IN LISTS arg_TABLES)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${table})
    file(RELATIVE_PATH table_name ${PROJECT_SOURCE_DIR} ${table})
    string(APPEND def_lines "    ; ${table_name}\n")
    file(STRINGS ${table} rows REGEX "^[^#]")
    foreach(row IN LISTS rows)
      string(REPLACE "\t" ";" fields "${row}")
      list(LENGTH fields n)
      if(n LESS 3 OR n GREATER 4)
        message(FATAL_ERROR "${table_name}: not NAME, ORDINAL, SLOTS[, FIRST NAME]: ${row}")
      endif()
      list(GET fields 0 name)
      list(GET fields 1 ordinal)
      list(GET fields 2 slots)
      if(NOT slots MATCHES "^[0-9]+$" OR NOT ordinal MATCHES "^([0-9]+|-)$")
        message(FATAL_ERROR "${table_name}: a bad ordinal or slot count: ${row}")
      endif()
      if(name IN_LIST names OR (NOT ordinal STREQUAL "-" AND ordinal IN_LIST ordinals))
        message(FATAL_ERROR "${table_name}: ${name} or ordinal ${ordinal} listed twice")
      endif()
      list(APPEND names ${name})
      list(APPEND ordinals ${ordinal})
      math(EXPR bytes "4 * ${slots}")
      if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(symbol_${name} "${name}@${bytes}")
      else()
        set(symbol_${name} "${name}")
      endif()
      set(entry "${symbol_${name}}")
      if(n EQUAL 4)
        list(GET fields 3 first)
        if(NOT DEFINED symbol_${first})
          message(FATAL_ERROR "${table_name}: ${name} names ${first}, not listed before it")
        endif()
        string(APPEND entry "=${symbol_${first}}")
      endif()
      if(NOT ordinal STREQUAL "-")
        string(LENGTH "${entry}" length)
        math(EXPR pad "41 - ${length}")
        if(pad LESS 1)
          set(pad 1)
        endif()
        string(REPEAT " " ${pad} spaces)
        string(APPEND entry "${spaces}@${ordinal}")
      endif()
      string(APPEND def_lines "    ${entry}\n")
    endforeach()
  endforeach()

  # A DLL with a header (korva32sim: korva3_sim.h) also exports, by name, the header's
  # functions that its tables do not list yet, with a warning.
  if(arg_HEADER)
    file(READ ${arg_HEADER} header_text)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${arg_HEADER})
    list(GET arg_TABLES -1 last_table)
    file(RELATIVE_PATH last_table ${PROJECT_SOURCE_DIR} ${last_table})
    string(REGEX MATCHALL "KORVA3_CALL[ \t\r\n]+[A-Za-z0-9_]+[ \t\r\n]*\\([^)]*\\)"
           protos "${header_text}")
    foreach(proto IN LISTS protos)
      string(REGEX REPLACE "^KORVA3_CALL[ \t\r\n]+([A-Za-z0-9_]+).*" "\\1" fn "${proto}")
      string(REGEX REPLACE "^[^(]*\\(([^)]*)\\)$" "\\1" params "${proto}")
      string(STRIP "${params}" params)
      if(params STREQUAL "" OR params STREQUAL "void")
        set(slots 0)
      else()
        string(REGEX MATCHALL "," commas "${params}")
        list(LENGTH commas n)
        math(EXPR slots "${n} + 1")
      endif()
      if(NOT fn IN_LIST names)
        message(WARNING "${last_table} does not list ${fn}: exported by name anyway; add "
                        "the row \"${fn}<TAB>-<TAB>${slots}\" to it")
        math(EXPR bytes "4 * ${slots}")
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
          string(APPEND def_lines "    ${fn}@${bytes}\n")
        else()
          string(APPEND def_lines "    ${fn}\n")
        endif()
      endif()
    endforeach()
  endif()

  set(link_def ${PROJECT_BINARY_DIR}/win/${dll_name}.def)
  file(WRITE ${link_def}.tmp
       "; ${dll_name}.def - made by cmake/windows.cmake from the tables in win/: edit those.\n"
       "LIBRARY ${dll_name}.dll\nEXPORTS\n${def_lines}")
  configure_file(${link_def}.tmp ${link_def} COPYONLY)

  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(lib_machine i386)
    set(lib_flags -k)
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  else()
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
