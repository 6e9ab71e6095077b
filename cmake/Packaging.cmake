# Installation and the exported CMake package of the core library.
#
#   cmake --install build --prefix /some/prefix
#
# Installs bin/calculator, share/man/man1/calculator.1, the static library
# calculator_core (exported as calculator::core) with its one public header
# include/calculator/calculator.h, and lib/cmake/calculator/ so that other
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
# Only the public header: calculator/characters.h is private to the core.
install(FILES ${PROJECT_SOURCE_DIR}/calculator/calculator.h
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
