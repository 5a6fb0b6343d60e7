# run_check.cmake - runs old_app (which knows nothing of the simulator) on the virtual
# card's library in place of korva32, with two_cards.toml at a clock speed, and checks
# what it printed, the trace the machine wrote, and that it took about the card's time
# divided by the speed (generous bounds).
#   cmake -DPROGRAM=... -DDESCRIPTION=... -DSPEED=N -DWORKDIR=... [-DEMULATOR=...]
#         [-DBESIDE=1] -P run_check.cmake
# BESIDE: the description is korva32-machine.toml beside the library (the program's
# folder), not named by KORVA32_MACHINE.
foreach(v PROGRAM DESCRIPTION SPEED WORKDIR)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "run_check.cmake: ${v} not given")
  endif()
endforeach()

# The description at this speed, its trace beside it.
file(READ ${DESCRIPTION} text)
string(REPLACE "speed = 1\n" "speed = ${SPEED}\n" text "${text}")
string(REPLACE "old_app_trace.jsonl" "trace_speed_${SPEED}.jsonl" text "${text}")
if(BESIDE)
  set(machine ${WORKDIR}/korva32-machine.toml)
  unset(ENV{KORVA32_MACHINE})
else()
  set(machine ${WORKDIR}/machine_speed_${SPEED}.toml)
  set(ENV{KORVA32_MACHINE} ${machine})
endif()
set(trace ${WORKDIR}/trace_speed_${SPEED}.jsonl)
file(WRITE ${machine} "${text}")
file(REMOVE ${trace})

execute_process(COMMAND ${EMULATOR} ${PROGRAM} WORKING_DIRECTORY ${WORKDIR}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "old_app failed (${rc})")
endif()

# What the program saw: both cards where the paths end, card 1 stopped by its X limit
# switch (limit byte bit 1) with the inputs the description gives it.
foreach(expect "card 0: X 20000, Y 10000, Z 0, limits 0x00"
               "card 1: X 15000, Y 5000, Z 0, limits 0x02, inputs 0x5A")
  string(FIND "${out}" "${expect}" at)
  if(at LESS 0)
    message(FATAL_ERROR "old_app did not print \"${expect}\"")
  endif()
endforeach()

# What the trace shows: the machine, each card's configuration, slices and end position.
file(READ ${trace} lines)
foreach(expect
    "\"ev\":\"machine\"[^\n]*\"clock\":\"wall\""
    "\"ev\":\"frame\",\"card\":0,[^\n]*\"name\":\"set_var\",\"card_var\":10,\"accel\":5"
    "\"ev\":\"frame\",\"card\":1,[^\n]*\"name\":\"set_var\""
    "\"ev\":\"frame\",\"card\":1,[^\n]*\"name\":\"move\",\"axis\":\"y\",\"pulses\":5000,\"speed\":50"
    "\"ev\":\"outputs\",\"card\":0,\"value\":5"
    "\"ev\":\"limit\",\"card\":1,\"axis\":\"x\",\"position\":15000"
    "\"ev\":\"motion\",\"card\":0,\"x\":20000,\"y\":10000,\"z\":0}\n"
    "\"ev\":\"motion\",\"card\":1,\"x\":15000,\"y\":5000,\"z\":0}\n")
  if(NOT lines MATCHES "${expect}")
    message(FATAL_ERROR "the trace has no line matching ${expect}")
  endif()
endforeach()

# Time: the cards ran one slice per millisecond of machine time, so the program took at
# least (slices / speed) ms of its own clock; well under twice that, plus set-up and
# its last sleeps (a run that ignored the speed would take over 1600 ms).
string(REGEX MATCHALL "\"name\":\"slice\"" slices "${lines}")
list(LENGTH slices slice_count)
string(REGEX MATCH "took ([0-9]+) ms" _ "${out}")
set(took ${CMAKE_MATCH_1})
math(EXPR low "${slice_count} * 8 / (10 * ${SPEED})")
math(EXPR high "${slice_count} * 2 / ${SPEED} + 600") # + its own sleeps
if(EMULATOR)
  math(EXPR high "${high} * 3 + 3000") # Wine: slower port access, slower start
endif()
message("${slice_count} slices at speed ${SPEED}: took ${took} ms (expected ${low}..${high})")
if(took LESS low OR took GREATER high)
  message(FATAL_ERROR "old_app took ${took} ms, expected ${low}..${high}")
endif()
