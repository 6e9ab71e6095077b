# Formats the manual page MANUAL as plain ASCII text with CR LF line ends
# into OUTPUT, with GROFF: cmake -DGROFF=... -DMANUAL=... -DOUTPUT=... -P
execute_process(
  COMMAND ${GROFF} -man -Tascii -P-cbou ${MANUAL}
  OUTPUT_VARIABLE text
  RESULT_VARIABLE status
)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "groff failed on ${MANUAL}: ${status}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
