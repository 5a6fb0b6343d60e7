# killed_check.cmake - old_app killed in the middle of its run: the trace holds every
# event up to then, each line whole.
#   cmake -DPROGRAM=... -DDESCRIPTION=... -DWORKDIR=... -P killed_check.cmake
file(READ ${DESCRIPTION} text)
string(REPLACE "old_app_trace.jsonl" "trace_killed.jsonl" text "${text}")
set(trace ${WORKDIR}/trace_killed.jsonl)
file(WRITE ${WORKDIR}/machine_killed.toml "${text}")
file(REMOVE ${trace})
set(ENV{KORVA32_MACHINE} ${WORKDIR}/machine_killed.toml)
execute_process(COMMAND ${PROGRAM} WORKING_DIRECTORY ${WORKDIR} TIMEOUT 0.7
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc MATCHES "timeout|Process terminated")
  message(FATAL_ERROR "old_app was not killed in its run (${rc})")
endif()
file(STRINGS ${trace} lines)
list(LENGTH lines count)
list(GET lines -1 last)
message("${count} lines, the last: ${last}")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^{\"t\":[0-9]+\\.[0-9][0-9][0-9],\"ev\":\"[a-z_]+\".*}$")
    message(FATAL_ERROR "not a whole trace line: ${line}")
  endif()
endforeach()
# The cards ran until the kill, and the trace with them.
if(count LESS 10 OR NOT last MATCHES "^{\"t\":([3-9][0-9][0-9]|[0-9][0-9][0-9][0-9])\\.")
  message(FATAL_ERROR "the trace stops early: ${count} lines, the last ${last}")
endif()
