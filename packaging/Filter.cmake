# Runs PROGRAM (with ARGS, a ;-list) as a filter from INPUT to OUTPUT; used by
# the build to run scdoc and gzip without a shell.
execute_process(COMMAND ${PROGRAM} ${ARGS} INPUT_FILE ${INPUT} OUTPUT_FILE ${OUTPUT}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "${PROGRAM} failed on ${INPUT}: ${rc}")
endif()
