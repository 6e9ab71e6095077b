# The source configured as a newcomer does, on a machine without GoogleTest
# or Google Benchmark (hidden with CMAKE_DISABLE_FIND_PACKAGE_*): a bare
# configuration succeeds and names every test suite it leaves out; asking
# for the tests, or the benchmarks, stops it with a message that says why.
#
# Variables: SOURCE_DIR, WORK_DIR, GENERATOR, CXX_COMPILER, C_COMPILER.

cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK_DIR})

# Configures a fresh tree with the given options; leaves the exit status in
# `configure_status` and both outputs together in `configure_output`.
function(configure name)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/${name} -G ${GENERATOR}
      -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_C_COMPILER=${C_COMPILER}
      -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON ${ARGN}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE output
    ERROR_VARIABLE errors
  )
  set(configure_status "${status}" PARENT_SCOPE)
  set(configure_output "${output}${errors}" PARENT_SCOPE)
endfunction()

function(expect_in_output pattern)
  if(NOT configure_output MATCHES "${pattern}")
    message(FATAL_ERROR "expected /${pattern}/ in the output:\n${configure_output}")
  endif()
endfunction()

configure(bare)
if(NOT configure_status EQUAL 0)
  message(FATAL_ERROR "the bare configuration failed:\n${configure_output}")
endif()
expect_in_output("Test suites built: abi install layering\n")
foreach(suite unit math c_interface threads console hostile terminal)
  expect_in_output("Test suites skipped:.*\n +${suite} \\(needs GoogleTest \\(libgtest-dev\\)")
endforeach()
# Nothing of the skipped suites is left in the build.
file(GLOB_RECURSE test_files ${WORK_DIR}/bare/tests/*/CTestTestfile.cmake)
foreach(file IN LISTS test_files)
  if(NOT file MATCHES "/tests/(abi|install)/")
    message(FATAL_ERROR "a skipped suite has tests: ${file}")
  endif()
endforeach()

configure(tests_asked_for -DCALCULATOR_BUILD_TESTS=ON)
if(configure_status EQUAL 0)
  message(FATAL_ERROR "CALCULATOR_BUILD_TESTS=ON without GoogleTest succeeded:\n${configure_output}")
endif()
expect_in_output("CALCULATOR_BUILD_TESTS=ON, but these test suites cannot be built here:")
expect_in_output("unit \\(needs GoogleTest \\(libgtest-dev\\)\\)")

configure(benchmarks_asked_for -DCALCULATOR_BUILD_TESTS=OFF -DCALCULATOR_BUILD_BENCHMARKS=ON)
if(configure_status EQUAL 0)
  message(FATAL_ERROR "CALCULATOR_BUILD_BENCHMARKS=ON without Google Benchmark succeeded")
endif()
expect_in_output("benchmark")
message(STATUS "bare configuration: GoogleTest suites named and skipped; tests and benchmarks asked for fail loudly")
