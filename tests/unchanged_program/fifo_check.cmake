# fifo_check.cmake - a FIFO named as the description: old_app starts at once (nobody
# writes to the FIFO), hears why there is no machine, and finds no card.
#   cmake -DPROGRAM=... -DWORKDIR=... -P fifo_check.cmake
set(fifo ${WORKDIR}/machine_fifo.toml)
file(REMOVE ${fifo})
execute_process(COMMAND mkfifo ${fifo} RESULT_VARIABLE made)
if(NOT made EQUAL 0)
  message(FATAL_ERROR "mkfifo ${fifo} failed (${made})")
endif()
set(ENV{KORVA32_MACHINE} ${fifo})
execute_process(COMMAND ${PROGRAM} WORKING_DIRECTORY ${WORKDIR} TIMEOUT 20
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(REMOVE ${fifo})
if(rc MATCHES "timeout|Process terminated")
  message(FATAL_ERROR "old_app waited on the FIFO (${rc})")
endif()
if(NOT out MATCHES "machine_fifo.toml: not a regular file \\(a FIFO\\); no machine")
  message(FATAL_ERROR "no refusal of the FIFO in:\n${out}")
endif()
message("${out}")
