# Installation, the exported CMake package of the core library, and the
# Debian package built by CPack.
#
#   cmake --install build --prefix /some/prefix
#   cd build && cpack -G DEB
#
# Installs bin/calculator, share/man/man1/calculator.1, the static library
# calculator_core (exported as calculator::core) with its one public header
# include/calculator/calculator.hpp, and lib/cmake/calculator/ so that other
# CMake projects can find_package(calculator).

include(CMakePackageConfigHelpers)

set(CALCULATOR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/calculator)

# The installed archive may be linked into a consumer's shared library too.
set_target_properties(calculator_core PROPERTIES
  EXPORT_NAME core
  POSITION_INDEPENDENT_CODE ON
)
# The same name as consumers of the installed package use.
add_library(calculator::core ALIAS calculator_core)

install(TARGETS calculator
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
)
install(TARGETS calculator_core
  EXPORT calculatorTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
)
# Only the public header: core.h and characters.h are private to the library.
install(FILES ${PROJECT_SOURCE_DIR}/calculator/calculator.hpp
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/calculator
)
install(FILES ${PROJECT_SOURCE_DIR}/man/calculator.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
)

install(EXPORT calculatorTargets
  NAMESPACE calculator::
  DESTINATION ${CALCULATOR_CMAKE_DIR}
)
configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/calculatorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/calculatorConfig.cmake
  INSTALL_DESTINATION ${CALCULATOR_CMAKE_DIR}
)
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/calculatorConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion
)
install(FILES
  ${PROJECT_BINARY_DIR}/calculatorConfig.cmake
  ${PROJECT_BINARY_DIR}/calculatorConfigVersion.cmake
  DESTINATION ${CALCULATOR_CMAKE_DIR}
)

# ---- Debian package -------------------------------------------------------

set(CALCULATOR_PACKAGE_MAINTAINER "Calculator developers <calculator@localhost>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME calculator)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${CALCULATOR_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "console calculator with variables, sums and integrals")
# The extended description of the Debian package, one line per entry.
set(calculator_description_lines
  "calculator reads one arithmetic expression per line on standard input"
  "and answers each line with exactly one line: the value or an error"
  "message. It knows + - * / and ^, the constants pi and e, the elementary"
  "functions, variables that live from one line to the next, and sums and"
  "integrals of an expression over a range."
  "."
  "The package also holds the evaluator as a static C++ library with its"
  "header and a CMake package configuration: find_package(calculator),"
  "target calculator::core."
)
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION ${calculator_description_lines})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CALCULATOR_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS rlwrap)
# Exact library versions from dpkg-shlibdeps where the tools are there; the
# plain run-time libraries of a C++ program otherwise.
find_program(CALCULATOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(CALCULATOR_FILE_PROGRAM file)
mark_as_advanced(CALCULATOR_DPKG_SHLIBDEPS CALCULATOR_FILE_PROGRAM)
if(CALCULATOR_DPKG_SHLIBDEPS AND CALCULATOR_FILE_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()

include(CPack)
