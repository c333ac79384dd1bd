# cmake -DPROGRAM=path -DWANT=code -P this: runs PROGRAM and fails unless it exits with WANT.
execute_process(COMMAND ${PROGRAM} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err
  TIMEOUT 20)
if(NOT code STREQUAL "${WANT}")
  message(FATAL_ERROR "${PROGRAM} exited with ${code}, not ${WANT}\n${out}${err}")
endif()
