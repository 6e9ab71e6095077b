# Installs the build to a fresh prefix, checks what was installed, then builds
# examples/embed against that prefix with find_package(calculator) and runs it.
#
# Variables: BUILD_DIR, SOURCE_DIR, WORK_DIR, CONFIG, GENERATOR, MAKE_PROGRAM,
# CXX_COMPILER, CXX_FLAGS, LINKER_FLAGS, BINDIR, LIBDIR, INCLUDEDIR, MANDIR.

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

set(config_options)
if(CONFIG)
  set(config_options --config ${CONFIG})
endif()
run_checked(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} ${config_options})

# ---- The installed tree: exactly these files ------------------------------

set(cmake_dir ${LIBDIR}/cmake/calculator)
set(expected
  ${BINDIR}/calculator
  ${MANDIR}/man1/calculator.1
  ${INCLUDEDIR}/calculator/calculator.hpp
  ${LIBDIR}/libcalculator_core.a
  ${cmake_dir}/calculatorConfig.cmake
  ${cmake_dir}/calculatorConfigVersion.cmake
  ${cmake_dir}/calculatorTargets.cmake
)
foreach(path IN LISTS expected)
  expect_file(${prefix}/${path})
endforeach()
file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
foreach(path IN LISTS installed)
  # The per-configuration part of the exported targets.
  if(path MATCHES "^${cmake_dir}/calculatorTargets-[a-z]*\\.cmake$")
    continue()
  endif()
  if(NOT path IN_LIST expected)
    message(FATAL_ERROR "installed but not expected: ${path}")
  endif()
endforeach()

# The exported core carries its link to the C maths library.
file(READ ${prefix}/${cmake_dir}/calculatorTargets.cmake targets)
if(NOT targets MATCHES "add_library\\(calculator::core STATIC IMPORTED\\)")
  message(FATAL_ERROR "calculatorTargets.cmake does not define calculator::core")
endif()
if(NOT targets MATCHES "INTERFACE_LINK_LIBRARIES \"([^\"]*)\"")
  message(FATAL_ERROR "calculator::core has no link interface; it needs libm")
endif()
set(link_libraries "${CMAKE_MATCH_1}")
if(NOT "m" IN_LIST link_libraries AND NOT "\$<LINK_ONLY:m>" IN_LIST link_libraries)
  message(FATAL_ERROR "calculator::core does not link libm: ${link_libraries}")
endif()

# The installed program runs.
expect_output(${prefix}/${BINDIR}/calculator "1+2\n2^10\n"
  "Please input expression.\nResult is 3\nResult is 1024\n" 0)

# ---- A consumer of the installed package ----------------------------------

set(embed_build ${WORK_DIR}/embed)
set(configure_options)
if(MAKE_PROGRAM)
  list(APPEND configure_options -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()
if(CONFIG)
  list(APPEND configure_options -DCMAKE_BUILD_TYPE=${CONFIG})
endif()
run_checked(${CMAKE_COMMAND}
  -S ${SOURCE_DIR}/examples/embed
  -B ${embed_build}
  -G ${GENERATOR}
  ${configure_options}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
  -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
)
# The package must come from the fresh prefix, not from an installed copy.
file(STRINGS ${embed_build}/CMakeCache.txt found_dir REGEX "^calculator_DIR:")
string(REGEX REPLACE "^[^=]*=" "" found_dir "${found_dir}")
file(REAL_PATH "${found_dir}" found_dir)
file(REAL_PATH "${prefix}/${cmake_dir}" wanted_dir)
if(NOT found_dir STREQUAL wanted_dir)
  message(FATAL_ERROR "find_package(calculator) found ${found_dir}, not ${wanted_dir}")
endif()

run_checked(${CMAKE_COMMAND} --build ${embed_build} ${config_options})

set(evaluate ${embed_build}/evaluate)
if(NOT EXISTS ${evaluate} AND CONFIG)
  set(evaluate ${embed_build}/${CONFIG}/evaluate)
endif()
expect_file(${evaluate})

expect_output(${evaluate} "" "13\n" 0 "2*sigma(i,1,3,i)+1")
expect_output(${evaluate} "" "0.30000000000000004\n" 0 "0.1+0.2")
expect_output(${evaluate} "" "Error : Can't divide by 0.\n" 1 "1/0")
expect_output(${evaluate} ""
  "Function Error : Wrong define in \"function\".\n> Can't divide by 0.\n1.5\n" 0
  "sigma(i,0,2,1/i)")

message("installed to ${prefix} and built examples/embed against it")
