# Compares the built shared library with the ABI baseline. Fails on an
# error or on any function or variable removed or changed (abidiff calls a
# changed parameter type a mere change, status 4, yet it breaks callers);
# additions alone pass with the report, as a reminder to update the
# baseline.
#
# Variables: ABIDIFF, READELF, BASELINE, LIBRARY, OPTIONS.

cmake_minimum_required(VERSION 3.25)

if(NOT ABIDIFF)
  message("SKIPPED: abidiff not found (Debian package abigail-tools)")
  return()
endif()
# Without debug information abidiff compares the symbol names alone and
# would let a changed parameter through.
execute_process(COMMAND ${READELF} -S --wide ${LIBRARY} OUTPUT_VARIABLE sections RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${READELF} cannot read ${LIBRARY}")
endif()
if(NOT sections MATCHES "\\.debug_info")
  message("SKIPPED: ${LIBRARY} has no debug information (build with -g, e.g. RelWithDebInfo)")
  return()
endif()
if(NOT EXISTS ${BASELINE})
  message(FATAL_ERROR "no ABI baseline ${BASELINE}; write it with the calculator_abi_baseline target")
endif()

set(option_list)
foreach(option IN LISTS OPTIONS)
  if(option STREQUAL "--headers-dir")
    list(APPEND option_list --hd2)
  else()
    list(APPEND option_list ${option})
  endif()
endforeach()
execute_process(COMMAND ${ABIDIFF} ${option_list} ${BASELINE} ${LIBRARY}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE report
  ERROR_VARIABLE errors
)
if(NOT status MATCHES "^[0-9]+$")
  message(FATAL_ERROR "abidiff did not run: ${status}\n${errors}")
endif()
# abidiff's status: 1 error, 2 usage error, 4 a change, 8 an incompatible
# change.
math(EXPR failure "${status} & 11")
set(breaking OFF)
foreach(kind Functions Variables)
  if(report MATCHES "${kind} changes summary: ([0-9]+) Removed(, [0-9]+ Removed \\([^)]*\\))?, ([0-9]+) Changed")
    if(NOT CMAKE_MATCH_1 EQUAL 0 OR NOT CMAKE_MATCH_3 EQUAL 0)
      set(breaking ON)
    endif()
  elseif(NOT status EQUAL 0)
    message(FATAL_ERROR "abidiff report without its ${kind} summary:\n${report}")
  endif()
endforeach()
if(NOT failure EQUAL 0 OR breaking)
  message(FATAL_ERROR "${LIBRARY} breaks the ABI of ${BASELINE} (abidiff status ${status}):\n"
    "${report}${errors}")
endif()
if(NOT status EQUAL 0)
  message("compatible change; update the baseline if it is meant:\n${report}")
endif()
message("${LIBRARY} keeps the ABI of ${BASELINE}")
