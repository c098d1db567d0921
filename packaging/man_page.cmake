# cmake -DHELP2MAN=... -DGZIP=... -DPROGRAM=... -DINCLUDE=... -DVERSION=... -DOUTPUT=... -P man_page.cmake
# Writes OUTPUT (roff) and OUTPUT.gz from PROGRAM --help. The one machine-dependent piece of the help
# text, the number of hardware threads of the building machine, is left out of the page.
execute_process(
  COMMAND ${HELP2MAN} --no-info --section=1 --version-string=${VERSION}
          "--name=bleach the page images of scanned PDF files" --include=${INCLUDE} ${PROGRAM}
  OUTPUT_VARIABLE page
  RESULT_VARIABLE status
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM}: ${errors}")
endif()
string(REGEX REPLACE ", [0-9]+ here\\)" ")" page "${page}")
file(WRITE ${OUTPUT} "${page}")
execute_process(COMMAND ${GZIP} -9 -n -c ${OUTPUT} OUTPUT_FILE ${OUTPUT}.gz RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${OUTPUT}")
endif()
