# Runs PROGRAM under EMULATOR (with ARGUMENTS, separated by |, and standard input
# from INPUT when given) and compares its standard output byte for byte
# with the file EXPECTED, whose LF line ends become CR LF when LINE_ENDS is
# CRLF. The exit status must be EXPECTED_STATUS (default 0). The output
# goes through a file: execute_process would drop the CR of CR LF.
if(NOT DEFINED EXPECTED_STATUS)
  set(EXPECTED_STATUS 0)
endif()
string(REPLACE "|" ";" arguments "${ARGUMENTS}")
set(input_option)
if(INPUT)
  set(input_option INPUT_FILE ${INPUT})
endif()
get_filename_component(name ${EXPECTED} NAME_WE)
set(actual_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.actual)
set(expected_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.expected)
execute_process(
  COMMAND ${EMULATOR} ${PROGRAM} ${arguments}
  ${input_option}
  OUTPUT_FILE ${actual_file}
  ERROR_VARIABLE errors
  RESULT_VARIABLE status
)
file(READ ${EXPECTED} expected)
if(LINE_ENDS STREQUAL "CRLF")
  string(REPLACE "\n" "\r\n" expected "${expected}")
endif()
file(WRITE ${expected_file} "${expected}")
if(NOT status STREQUAL "${EXPECTED_STATUS}")
  message(FATAL_ERROR "exit status ${status}, expected ${EXPECTED_STATUS}; standard error:\n${errors}")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E compare_files ${expected_file} ${actual_file}
  RESULT_VARIABLE different
)
if(different)
  message(FATAL_ERROR "${actual_file} differs from ${expected_file}")
endif()
