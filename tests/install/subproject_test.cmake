# Builds a program that takes the library in with add_subdirectory, as a
# project that vendors it or uses FetchContent does: only the library's
# targets appear (no program, tests or packages), the C++ standard comes
# with them, and both headers serve one file.
#
# Variables: SOURCE_DIR, WORK_DIR, GENERATOR, MAKE_PROGRAM, CXX_COMPILER,
# C_COMPILER, CXX_FLAGS, LINKER_FLAGS, CONFIG.

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/source)
file(WRITE ${WORK_DIR}/source/CMakeLists.txt "
cmake_minimum_required(VERSION 3.25)
project(consumer LANGUAGES CXX)
add_subdirectory(\"${SOURCE_DIR}\" calculator)
foreach(target calculator calculator_unit_tests calculator_fuzz_replay)
  if(TARGET \${target})
    message(FATAL_ERROR \"the subproject defines \${target}\")
  endif()
endforeach()
add_executable(consumer main.cpp)
target_link_libraries(consumer PRIVATE calculator::calculator_static)
")
file(WRITE ${WORK_DIR}/source/main.cpp [[
#include <calculator/calculator.h>
#include <calculator/calculator.hpp>
#include <cstdio>

struct Calculator {};  // the program's own name, free beside the library's

int main() {
  calculator::Session session;
  std::printf("%s %d\n", session.answer("2*sigma(i,1,3,i)+1").c_str(),
              calculator_version_number() == CALCULATOR_VERSION_NUMBER);
  return 0;
}
]])

set(options)
if(MAKE_PROGRAM)
  list(APPEND options -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()
if(CONFIG)
  list(APPEND options -DCMAKE_BUILD_TYPE=${CONFIG})
endif()
run_checked(${CMAKE_COMMAND} -S ${WORK_DIR}/source -B ${WORK_DIR}/build -G ${GENERATOR}
  ${options}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  -DCMAKE_C_COMPILER=${C_COMPILER}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
)
run_checked(${CMAKE_COMMAND} --build ${WORK_DIR}/build --target consumer -j 2)
set(program ${WORK_DIR}/build/consumer)
if(NOT EXISTS ${program} AND CONFIG)
  set(program ${WORK_DIR}/build/${CONFIG}/consumer)
endif()
expect_output(${program} "" "Result is 13 1\n" 0)
message("built a program with the library as a subproject")
