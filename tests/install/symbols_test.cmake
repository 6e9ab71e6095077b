# Checks the dynamic symbol table of the shared library: it exports the C
# interface (calculator_*) and nothing else; no C++ name crosses it.
#
# Variables: LIBRARY, NM.

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

# Mangled names: binutils' nm and llvm-nm demangle versioned names
# differently.
run_checked(${NM} --dynamic --defined-only ${LIBRARY})
string(REPLACE "\n" ";" lines "${run_output}")
set(exported)
set(foreign)
foreach(line IN LISTS lines)
  # "ADDRESS TYPE NAME@@VERSION"; the name may contain blanks.
  if(NOT line MATCHES "^[0-9a-f]+ [A-Za-z] (.*)$")
    continue()
  endif()
  string(REGEX REPLACE "@@?CALCULATOR_[0-9]+(\\.[0-9]+)?$" "" name "${CMAKE_MATCH_1}")
  if(name MATCHES "^CALCULATOR_[0-9]+(\\.[0-9]+)?$")
    continue()  # the version node itself
  endif()
  if(name MATCHES "^calculator_[a-z_]+$")
    list(APPEND exported "${name}")
  else()
    list(APPEND foreign "${name}")
  endif()
endforeach()
if(foreign)
  list(JOIN foreign "\n  " foreign)
  message(FATAL_ERROR "${LIBRARY} exports names outside its interface:\n  ${foreign}")
endif()
foreach(name
    calculator_new calculator_free calculator_evaluate calculator_answer
    calculator_error_message calculator_set_report_handler calculator_set_progress_handler
    calculator_interrupt calculator_set_variable calculator_get_variable
    calculator_variable_count calculator_variable_name calculator_format_number
    calculator_version calculator_version_number calculator_set_digits
    calculator_format_number_digits calculator_answer_size calculator_prompt
    calculator_interrupted_line calculator_status_message)
  if(NOT name IN_LIST exported)
    message(FATAL_ERROR "${LIBRARY} does not export ${name}")
  endif()
endforeach()
list(LENGTH exported count)
message("${LIBRARY}: ${count} exported names, all calculator_*")
