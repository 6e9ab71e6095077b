# Installation, the pkg-config and CMake package files of the library, and
# the Debian packages built by CPack.
#
#   cmake --install build --prefix /some/prefix
#   cd build && cpack -G DEB
#
# Install components, one Debian package each:
#   program      bin/calculator, its manual page, README     -> calculator
#   library      lib/libcalculator.so.2*                     -> libcalculator2
#   development  headers, libcalculator.so, libcalculator.a,
#                pkgconfig/calculator.pc, cmake/calculator/  -> libcalculator-dev
# A plain install also puts LICENSE and README.md in share/doc/calculator;
# the packages carry a Debian copyright file and changelog instead.

include(CMakePackageConfigHelpers)

set(CALCULATOR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/calculator)
set(CALCULATOR_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(CALCULATOR_LIBRARY_PACKAGE libcalculator${PROJECT_VERSION_MAJOR})

set(CALCULATOR_PACKAGE_MAINTAINER "Calculator developers <calculator@example.org>"
  CACHE STRING "Maintainer field and changelog signature of the Debian packages")

# ---- Linking --------------------------------------------------------------

# No run path, built or installed: the program carries the library in
# itself, and libedit is loaded by its soname from the system's folders
# alone. (A run path reserved for the install is written as empty entries
# in the build tree, and the loader reads each as the current folder.)
set_target_properties(calculator PROPERTIES SKIP_BUILD_RPATH ON INSTALL_RPATH "")

# ---- The program ----------------------------------------------------------

# Manual pages are installed compressed, without a time stamp in the file.
set(calculator_manual_gz ${PROJECT_BINARY_DIR}/man/calculator.1.gz)
add_custom_command(OUTPUT ${calculator_manual_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/man/calculator.1 > ${calculator_manual_gz}
  DEPENDS ${PROJECT_SOURCE_DIR}/man/calculator.1
  VERBATIM
)
add_custom_target(calculator_manual ALL DEPENDS ${calculator_manual_gz})

install(TARGETS calculator
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program
)
install(FILES ${calculator_manual_gz}
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program
)
install(FILES ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/calculator COMPONENT program
)
# Not packaged: the copyright files of the packages hold the licence.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/calculator COMPONENT licence
)

# ---- The library ----------------------------------------------------------

install(TARGETS calculator_shared calculator_static
  EXPORT calculatorTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT library
    NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
)
# The public headers only; the library's internal headers stay in calculator/.
install(FILES ${CALCULATOR_PUBLIC_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/calculator COMPONENT development
)

# pkg-config: paths relative to the .pc file, so that the same file serves
# any prefix (cmake --install --prefix, the Debian packages); absolute
# directories given at configure time are kept as they are.
function(calculator_pkgconfig_path variable directory)
  if(IS_ABSOLUTE "${directory}")
    set(${variable} "${directory}" PARENT_SCOPE)
  else()
    set(${variable} "\${prefix}/${directory}" PARENT_SCOPE)
  endif()
endfunction()
set(calculator_pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${calculator_pkgconfig_dir}")
  set(CALCULATOR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  # One ".." for every directory between the prefix and the .pc file.
  string(REGEX REPLACE "[^/]+" ".." prefix_from_pc "${calculator_pkgconfig_dir}")
  set(CALCULATOR_PC_PREFIX "\${pcfiledir}/${prefix_from_pc}")
endif()
calculator_pkgconfig_path(CALCULATOR_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
calculator_pkgconfig_path(CALCULATOR_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/calculator.pc.in
  ${PROJECT_BINARY_DIR}/calculator.pc @ONLY
)
install(FILES ${PROJECT_BINARY_DIR}/calculator.pc
  DESTINATION ${calculator_pkgconfig_dir} COMPONENT development
)

install(EXPORT calculatorTargets
  NAMESPACE calculator::
  DESTINATION ${CALCULATOR_CMAKE_DIR}
  COMPONENT development
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
  COMPONENT development
)

include(${CMAKE_CURRENT_LIST_DIR}/DebianPackages.cmake)
