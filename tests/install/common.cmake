# Helpers shared by the install test scripts (run with cmake -P).

# Runs a command; fails the test unless it exits with status 0. The standard
# output is left in `run_output`.
function(run_checked)
  execute_process(COMMAND ${ARGN}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE output
    ERROR_VARIABLE errors
  )
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "command failed (${status}): ${command}\n${output}${errors}")
  endif()
  set(run_output "${output}" PARENT_SCOPE)
endfunction()

# Runs `program` with `input` on standard input and checks its standard output
# and exit status.
function(expect_output program input expected_output expected_status)
  file(WRITE ${WORK_DIR}/input.txt "${input}")
  execute_process(COMMAND ${program} ${ARGN}
    INPUT_FILE ${WORK_DIR}/input.txt
    RESULT_VARIABLE status
    OUTPUT_VARIABLE output
    ERROR_VARIABLE errors
  )
  if(NOT "${output}" STREQUAL "${expected_output}" OR NOT "${status}" STREQUAL "${expected_status}")
    list(JOIN ARGN " " arguments)
    message(FATAL_ERROR
      "${program} ${arguments}\n"
      "expected status ${expected_status} and output:\n${expected_output}"
      "got status ${status} and output:\n${output}${errors}")
  endif()
endfunction()

function(expect_file path)
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "missing: ${path}")
  endif()
endfunction()

# The output of `pkg-config OPTIONS calculator` as a list of arguments.
function(pkg_config_arguments variable)
  find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)
  run_checked(${PKG_CONFIG} ${ARGN} calculator)
  separate_arguments(arguments UNIX_COMMAND "${run_output}")
  set(${variable} ${arguments} PARENT_SCOPE)
endfunction()

# Compiles the C program `source` with C_COMPILER, C_FLAGS and the include
# flags from pkg-config, and links it with C_LINK_DRIVER, C_LINK_FLAGS and
# the remaining arguments into `output`.
function(build_c_program source output)
  pkg_config_arguments(cflags --cflags)
  separate_arguments(compile_flags UNIX_COMMAND "${C_FLAGS}")
  separate_arguments(link_flags UNIX_COMMAND "${C_LINK_FLAGS}")
  run_checked(${C_COMPILER} ${compile_flags} ${cflags} -c ${source} -o ${output}.o)
  run_checked(${C_LINK_DRIVER} ${link_flags} ${output}.o -o ${output} ${ARGN})
endfunction()
