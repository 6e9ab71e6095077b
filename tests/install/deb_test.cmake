# Builds the Debian package with CPack into a fresh folder, checks its fields
# and contents, and runs the program unpacked from it.
#
# Variables: BUILD_DIR, WORK_DIR, CONFIG, VERSION, BINDIR, LIBDIR, INCLUDEDIR,
# MANDIR.

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

find_program(DPKG_DEB dpkg-deb)
if(NOT DPKG_DEB)
  message("SKIPPED: dpkg-deb is not installed")
  return()
endif()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

set(config_options)
if(CONFIG)
  set(config_options -C ${CONFIG})
endif()
run_checked(${CMAKE_CPACK_COMMAND} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake
  -B ${WORK_DIR} ${config_options})
file(GLOB packages ${WORK_DIR}/*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one .deb in ${WORK_DIR}, found: ${packages}")
endif()
message("package: ${packages}")

# ---- Control fields -------------------------------------------------------

foreach(field Package Version Section Maintainer Depends Description)
  run_checked(${DPKG_DEB} --field ${packages} ${field})
  string(STRIP "${run_output}" value)
  set(field_${field} "${value}")
endforeach()
if(NOT field_Package STREQUAL "calculator")
  message(FATAL_ERROR "Package: ${field_Package}")
endif()
if(NOT field_Version STREQUAL VERSION)
  message(FATAL_ERROR "Version: ${field_Version}, the project is ${VERSION}")
endif()
if(NOT field_Section STREQUAL "math")
  message(FATAL_ERROR "Section: ${field_Section}")
endif()
if(NOT field_Maintainer MATCHES "<[^ >]+@[^ >]+>$")
  message(FATAL_ERROR "Maintainer needs a name and an address: ${field_Maintainer}")
endif()
if(NOT field_Depends MATCHES "libc6" OR NOT field_Depends MATCHES "libstdc\\+\\+6")
  message(FATAL_ERROR "Depends lacks the C or C++ run-time library: ${field_Depends}")
endif()
if(field_Description STREQUAL "")
  message(FATAL_ERROR "the package has no description")
endif()

# ---- Contents -------------------------------------------------------------

run_checked(${DPKG_DEB} --contents ${packages})
set(contents "${run_output}")
message("${contents}")
set(cmake_dir usr/${LIBDIR}/cmake/calculator)
foreach(path
    usr/${BINDIR}/calculator
    usr/${MANDIR}/man1/calculator.1
    usr/${INCLUDEDIR}/calculator/calculator.hpp
    usr/${LIBDIR}/libcalculator_core.a
    ${cmake_dir}/calculatorConfig.cmake
    ${cmake_dir}/calculatorConfigVersion.cmake
    ${cmake_dir}/calculatorTargets.cmake)
  string(REPLACE "+" "\\+" pattern "${path}")
  string(REPLACE "." "\\." pattern "${pattern}")
  if(NOT contents MATCHES " \\./${pattern}\n")
    message(FATAL_ERROR "the package lacks /${path}")
  endif()
endforeach()
if(contents MATCHES "characters\\.h")
  message(FATAL_ERROR "the package holds the private header characters.h")
endif()

# The program unpacked from the package runs.
run_checked(${DPKG_DEB} --extract ${packages} ${WORK_DIR}/root)
expect_output(${WORK_DIR}/root/usr/${BINDIR}/calculator "1+2\n"
  "Please input expression.\nResult is 3\n" 0)
