# The hardening of the files that ship (cmake/Hardening.cmake), read back
# with readelf: included by the install tests for the installed files, or
# run with cmake -P on the built ones.
#
# check_hardened(FILE): an ELF program or shared library has no run path
# (the loader would search it before the system's folders; an empty entry
# is the current folder), is position-independent, has full RELRO
# (GNU_RELRO and BIND_NOW), a stack that cannot execute, and calls the
# stack protector's and _FORTIFY_SOURCE's checked functions of the C
# library.
# check_marked_for_cet(ARCHIVE): every object in it was compiled with
# -fcf-protection. (The linked files lose the mark: Debian 12's crti.o has
# none.)
#
# With -P: READELF, FILES (programs and shared libraries) and ARCHIVES.

function(check_hardened path)
  execute_process(
    COMMAND ${READELF} -W --file-header --program-headers --dynamic --dyn-syms ${path}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE elf
    ERROR_VARIABLE errors
  )
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "readelf failed on ${path}:\n${errors}")
  endif()
  set(faults)
  if(elf MATCHES "\\((RPATH|RUNPATH)\\)[^\n]*(\\[[^\n]*\\])")
    list(APPEND faults "run path ${CMAKE_MATCH_2}")
  endif()
  if(NOT elf MATCHES "Type: +DYN")
    list(APPEND faults "not position-independent (not of type DYN)")
  endif()
  if(NOT path MATCHES "\\.so(\\.[0-9]+)*$" AND NOT elf MATCHES "\\(FLAGS_1\\)[^\n]* PIE")
    list(APPEND faults "a program not marked PIE")
  endif()
  if(NOT elf MATCHES "\n +GNU_RELRO ")
    list(APPEND faults "no GNU_RELRO segment")
  endif()
  if(NOT elf MATCHES "\\(FLAGS\\)[^\n]* BIND_NOW" AND NOT elf MATCHES "\\(FLAGS_1\\)[^\n]* NOW")
    list(APPEND faults "no BIND_NOW")
  endif()
  if(NOT elf MATCHES "\n +GNU_STACK [^\n]* RW +0x")
    list(APPEND faults "no GNU_STACK segment that is RW alone (an executable stack)")
  endif()
  if(NOT elf MATCHES " __stack_chk_fail@")
    list(APPEND faults "no stack protector (__stack_chk_fail is not called)")
  endif()
  if(NOT elf MATCHES " __[a-z0-9]+_chk@")
    list(APPEND faults "no _FORTIFY_SOURCE (no __*_chk function is called)")
  endif()
  if(faults)
    list(JOIN faults "\n  " text)
    message(SEND_ERROR "${path}:\n  ${text}")
  else()
    message("${path}: hardened")
  endif()
endfunction()

function(check_marked_for_cet archive)
  execute_process(
    COMMAND ${READELF} -W --notes ${archive}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE notes
    ERROR_VARIABLE errors
  )
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "readelf failed on ${archive}:\n${errors}")
  endif()
  # One entry per member: "File: archive(member)" and its notes.
  string(REPLACE "\nFile: " ";" members "${notes}")
  set(unmarked)
  set(count 0)
  foreach(member IN LISTS members)
    if(NOT member MATCHES "\\(([^)\n]+)\\)\n")
      continue()
    endif()
    set(name ${CMAKE_MATCH_1})
    math(EXPR count "${count} + 1")
    if(NOT member MATCHES "x86 feature: [^\n]*IBT[^\n]*SHSTK")
      list(APPEND unmarked ${name})
    endif()
  endforeach()
  if(count EQUAL 0)
    message(SEND_ERROR "${archive}: no object found")
  elseif(unmarked)
    list(JOIN unmarked ", " text)
    message(SEND_ERROR "${archive}: compiled without -fcf-protection: ${text}")
  else()
    message("${archive}: ${count} objects marked for IBT and SHSTK")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(path IN LISTS FILES)
    check_hardened(${path})
  endforeach()
  foreach(archive IN LISTS ARCHIVES)
    check_marked_for_cet(${archive})
  endforeach()
endif()
