# Runs groff on the manual source; groff writes the PDF to its standard output.
# Usage: cmake -DGROFF=... -DSOURCE=... -DOUTPUT=... -P BuildManual.cmake
execute_process(
  COMMAND ${GROFF} -ms -t -Tpdf -Wall ${SOURCE}
  OUTPUT_FILE ${OUTPUT}.tmp
  ERROR_VARIABLE messages
  RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT messages STREQUAL "")
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "groff failed on ${SOURCE} (${result}):\n${messages}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
