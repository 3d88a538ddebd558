# Runs groff on the manual source; groff writes the PDF to its standard output.
# Usage: cmake -DGROFF=... -DSOURCE=... -DOUTPUT=... -P BuildManual.cmake
# The dialog picture (a capture from the test host, PNG) goes into the PDF as
# a PDF of its own beside the output; groff embeds it with PDFPIC, which needs
# its unsafe mode (-U) to ask pdfinfo for the size.
get_filename_component(outdir ${OUTPUT} DIRECTORY)
execute_process(
  COMMAND sh -c "pngtopnm \"$0\" | pnmtops -noturn -nosetpage -quiet > \"$1.eps\" && ps2pdf -dEPSCrop \"$1.eps\" \"$1\""
          ${PICTURE} ${outdir}/filter-dialog.pdf
  ERROR_VARIABLE messages
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the dialog picture ${PICTURE} could not be converted (${result}):\n${messages}")
endif()
execute_process(
  COMMAND ${GROFF} -ms -t -Tpdf -U -Wall ${SOURCE}
  WORKING_DIRECTORY ${outdir}
  OUTPUT_FILE ${OUTPUT}.tmp
  ERROR_VARIABLE messages
  RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT messages STREQUAL "")
  file(REMOVE ${OUTPUT}.tmp)
  message(FATAL_ERROR "groff failed on ${SOURCE} (${result}):\n${messages}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
