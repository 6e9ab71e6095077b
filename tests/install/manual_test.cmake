# Checks the manual page: groff formats it without a warning, and its ERRORS
# section names every error message that the calculator core can raise.
#
# Variables: SOURCE_DIR.

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

find_program(GROFF groff)
if(NOT GROFF)
  message("SKIPPED: groff is not installed, the manual page was not checked")
  return()
endif()

set(page ${SOURCE_DIR}/man/calculator.1)

foreach(device ascii utf8)
  execute_process(COMMAND ${GROFF} -man -T${device} -ww -z ${page}
    RESULT_VARIABLE status
    ERROR_VARIABLE warnings
  )
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "groff -T${device} on ${page}:\n${warnings}")
  endif()
endforeach()

# The ERRORS section as plain text, without hyphenation and with long lines;
# every run of white space becomes one space, so that wrapped messages still
# match.
run_checked(${GROFF} -man -Tascii -P-cbou -rHY=0 -rLL=300n ${page})
string(FIND "${run_output}" "\nERRORS\n" start)
if(start LESS 0)
  message(FATAL_ERROR "the manual page has no ERRORS section")
endif()
string(SUBSTRING "${run_output}" ${start} -1 text)
# Up to the next section heading.
string(REGEX REPLACE "^\nERRORS\n" "" text "${text}")
string(REGEX REPLACE "\n[A-Z][A-Z ]*\n.*$" "" text "${text}")
string(REGEX REPLACE "[ \t\n]+" " " text "${text}")

# Every message of an evaluation, from the library's one list of them (the
# failures of the C interface's own calls, after them, are no console
# errors).
file(READ ${SOURCE_DIR}/calculator/messages.h code)
string(FIND "${code}" "// Failures of the C interface" end)
if(end LESS 0)
  message(FATAL_ERROR "calculator/messages.h: where do the C interface's messages start now?")
endif()
string(SUBSTRING "${code}" 0 ${end} code)
string(REGEX MATCHALL "\\[\\] =[ \n]*\"[^\n]*\"" constants "${code}")
set(messages)
foreach(constant IN LISTS constants)
  string(REGEX REPLACE "^\\[\\] =[ \n]*\"(.*)\"$" "\\1" message "${constant}")
  string(REPLACE "\\\"" "\"" message "${message}")
  # Not errors of the language: the second report line's prefix, and the
  # answer to Ctrl-C, which the manual names with the keys.
  if(NOT message STREQUAL "> " AND NOT message STREQUAL "Interrupted.")
    list(APPEND messages "${message}")
  endif()
endforeach()
list(LENGTH messages count)
if(count LESS 10)
  message(FATAL_ERROR "found ${count} messages in calculator/messages.h: how are they kept now?")
endif()

set(missing)
foreach(message IN LISTS messages)
  string(FIND "${text}" "${message}" at)
  if(at LESS 0)
    list(APPEND missing "${message}")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "the ERRORS section of the manual page lacks:\n  ${missing}")
endif()
list(LENGTH messages count)
message("${page}: no warnings; ERRORS names all ${count} messages")
