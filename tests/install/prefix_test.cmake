# Installs the build to a fresh prefix, checks what was installed, and builds
# and runs programs against that prefix: examples/cpp (C++, find_package),
# examples/c and c_api_test.c (C99, pkg-config; shared and static), and a
# Python program that loads the shared library with ctypes.
#
# Variables: BUILD_DIR, SOURCE_DIR, WORK_DIR, CONFIG, GENERATOR, MAKE_PROGRAM,
# CXX_COMPILER, CXX_FLAGS, LINKER_FLAGS, C_COMPILER, C_FLAGS, C_LINK_DRIVER,
# C_LINK_FLAGS, SANITIZED, READELF, BINDIR, LIBDIR, INCLUDEDIR, MANDIR, DATADIR,
# VERSION.

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
string(REGEX MATCH "^[0-9]+" major "${VERSION}")
set(expected
  ${BINDIR}/calculator
  ${MANDIR}/man1/calculator.1.gz
  ${DATADIR}/doc/calculator/README.md
  ${DATADIR}/doc/calculator/LICENSE
  ${INCLUDEDIR}/calculator/calculator.h
  ${INCLUDEDIR}/calculator/calculator.hpp
  ${INCLUDEDIR}/calculator/calculator_export.h
  ${INCLUDEDIR}/calculator/calculator_version.h
  ${LIBDIR}/libcalculator.so
  ${LIBDIR}/libcalculator.so.${major}
  ${LIBDIR}/libcalculator.so.${VERSION}
  ${LIBDIR}/libcalculator.a
  ${LIBDIR}/pkgconfig/calculator.pc
  ${cmake_dir}/calculatorConfig.cmake
  ${cmake_dir}/calculatorConfigVersion.cmake
  ${cmake_dir}/calculatorTargets.cmake
)
foreach(path IN LISTS expected)
  expect_file(${prefix}/${path})
endforeach()
file(GLOB_RECURSE installed RELATIVE ${prefix} LIST_DIRECTORIES false ${prefix}/*)
foreach(path IN LISTS installed)
  # The per-configuration part of the exported targets.
  if(path MATCHES "^${cmake_dir}/calculatorTargets-[a-z]*\\.cmake$")
    continue()
  endif()
  if(NOT path IN_LIST expected)
    message(FATAL_ERROR "installed but not expected: ${path}")
  endif()
endforeach()

file(READ ${prefix}/${cmake_dir}/calculatorTargets.cmake targets)
foreach(target "calculator::calculator SHARED" "calculator::calculator_static STATIC")
  if(NOT targets MATCHES "add_library\\(${target} IMPORTED\\)")
    message(FATAL_ERROR "calculatorTargets.cmake does not define ${target}")
  endif()
endforeach()

# The installed program runs, and the installed program and library are
# as hardened as the built ones, with no run path.
expect_output(${prefix}/${BINDIR}/calculator "1+2\n2^10\n"
  "Please input expression.\nResult is 3\nResult is 1024\n" 0)
if(NOT SANITIZED)
  include(${CMAKE_CURRENT_LIST_DIR}/hardening.cmake)
  check_hardened(${prefix}/${BINDIR}/calculator)
  check_hardened(${prefix}/${LIBDIR}/libcalculator.so.${VERSION})
endif()

# ---- C++: examples/cpp through find_package -------------------------------

set(cpp_build ${WORK_DIR}/example-cpp)
set(configure_options)
if(MAKE_PROGRAM)
  list(APPEND configure_options -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()
if(CONFIG)
  list(APPEND configure_options -DCMAKE_BUILD_TYPE=${CONFIG})
endif()
run_checked(${CMAKE_COMMAND}
  -S ${SOURCE_DIR}/examples/cpp
  -B ${cpp_build}
  -G ${GENERATOR}
  ${configure_options}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
  -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
)
# The package must come from the fresh prefix, not from an installed copy.
file(STRINGS ${cpp_build}/CMakeCache.txt found_dir REGEX "^calculator_DIR:")
string(REGEX REPLACE "^[^=]*=" "" found_dir "${found_dir}")
file(REAL_PATH "${found_dir}" found_dir)
file(REAL_PATH "${prefix}/${cmake_dir}" wanted_dir)
if(NOT found_dir STREQUAL wanted_dir)
  message(FATAL_ERROR "find_package(calculator) found ${found_dir}, not ${wanted_dir}")
endif()

run_checked(${CMAKE_COMMAND} --build ${cpp_build} ${config_options})
set(evaluate ${cpp_build}/evaluate)
if(NOT EXISTS ${evaluate} AND CONFIG)
  set(evaluate ${cpp_build}/${CONFIG}/evaluate)
endif()
expect_output(${evaluate} "" "2\n12.566370614359172\n0.30000000000000004\n" 0
  "set(r, 2)" "pi*r^2" "0.1+0.2")
expect_output(${evaluate} ""
  "Function Error : Wrong define in \"function\".\n> Can't divide by 0.\n1.5\nError : Can't divide by 0.\n" 1
  "sigma(i,0,2,1/i)" "1/0")

# ---- C: examples/c and the C interface test through pkg-config ------------

set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/${LIBDIR}/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(library_dir ${prefix}/${LIBDIR})
pkg_config_arguments(shared_libs --libs)
build_c_program(${SOURCE_DIR}/examples/c/evaluate.c ${WORK_DIR}/evaluate-c
  ${shared_libs} -Wl,-rpath,${library_dir})
expect_output(${WORK_DIR}/evaluate-c ""
  "Result is 2\nResult is 12.5664\nFunction Error : Wrong define in \"function\".\n> Can't divide by 0.\nResult is 1.5\n" 0
  "set(r, 2)" "pi*r^2" "sigma(i,0,2,1/i)")

build_c_program(${CMAKE_CURRENT_LIST_DIR}/c_api_test.c ${WORK_DIR}/c_api_test
  ${shared_libs} -Wl,-rpath,${library_dir} -pthread)
expect_output(${WORK_DIR}/c_api_test "" "ok\n" 0)
# Linked with the static library, and only with the libraries that
# calculator.pc names for static linking.
pkg_config_arguments(static_libs --static --libs)
list(TRANSFORM static_libs REPLACE "^-lcalculator$" "-l:libcalculator.a")
build_c_program(${CMAKE_CURRENT_LIST_DIR}/c_api_test.c ${WORK_DIR}/c_api_test_static
  ${static_libs} -pthread)
expect_output(${WORK_DIR}/c_api_test_static "" "ok\n" 0)

# ---- Python: ctypes ---------------------------------------------------------

find_program(PYTHON3 python3)
if(SANITIZED)
  message("ctypes test left out: a sanitized library cannot be loaded into python3")
elseif(NOT PYTHON3)
  message(FATAL_ERROR "python3 is needed for the ctypes test")
else()
  run_checked(${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/ctypes_test.py
    ${prefix}/${LIBDIR}/libcalculator.so.${major})
  message("${run_output}")
endif()

message("installed to ${prefix} and built C++, C and Python programs against it")
