# The three Debian packages, built by CPack's DEB generator from the install
# components (cmake/Packaging.cmake):
#
#   calculator       section math     the program, its manual page, README
#   libcalculator2   section libs     libcalculator.so.2*, shlibs, symbols,
#                                     an ldconfig trigger
#   libcalculator-dev section libdevel headers, libcalculator.so,
#                                     libcalculator.a, calculator.pc, CMake
#                                     package files
#   python3-calculator section python the Python package calculator, with
#                                     the library compiled into its module
#                                     (when the build has it: python/)
#
# Each carries /usr/share/doc/PACKAGE/copyright (packaging/copyright) and
# changelog.gz (packaging/changelog.in). Two CPack script steps do what
# CPack itself does not (cmake/DebianStage.cmake before the packages are
# built, cmake/DebianFinish.cmake after).

set(calculator_package_names calculator ${CALCULATOR_LIBRARY_PACKAGE} libcalculator-dev)
set(calculator_package_components program library development)
if(TARGET calculator_python)
  list(APPEND calculator_package_names python3-calculator)
  list(APPEND calculator_package_components python)
endif()

# ---- Copyright and changelog of every package -----------------------------

configure_file(${CALCULATOR_PACKAGING_DIR}/changelog.in
  ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY
)
set(calculator_changelog_gz ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${calculator_changelog_gz}
  COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/packaging/changelog > ${calculator_changelog_gz}
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog
  VERBATIM
)
add_custom_target(calculator_changelog ALL DEPENDS ${calculator_changelog_gz})

# Only in the packages: a plain install has LICENSE instead.
foreach(package component IN ZIP_LISTS calculator_package_names calculator_package_components)
  install(FILES ${CALCULATOR_PACKAGING_DIR}/copyright ${calculator_changelog_gz}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
    COMPONENT ${component}
    EXCLUDE_FROM_ALL
  )
endforeach()

# ---- CPack ----------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME calculator)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${CALCULATOR_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${calculator_package_components})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CALCULATOR_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SOURCE calculator)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME calculator)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${CALCULATOR_LIBRARY_PACKAGE})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libcalculator-dev)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION math)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-calculator)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)

set(CPACK_DEBIAN_PROGRAM_DESCRIPTION
  "console calculator with variables, sums and integrals
calculator answers every line of arithmetic it reads with one line: the
value or an error message. It knows the elementary functions, variables,
and sums and integrals of an expression over a range.")
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION
  "evaluator of the calculator's expressions (shared library)
The library behind the calculator program: sessions that evaluate lines
of arithmetic with variables, sums and integrals, through a C interface
and a C++ interface.")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "evaluator of the calculator's expressions (development files)
Headers for the C interface <calculator/calculator.h> and the C++ interface
<calculator/calculator.hpp>, the static library, and the files for
pkg-config and CMake's find_package.")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
  "evaluator of the calculator's expressions (Python 3)
The Python package calculator: sessions that evaluate lines of arithmetic
with variables, sums, integrals and correctly rounded functions, and give
the calculator program's answer lines. The evaluator is compiled in.")

# Library dependencies from dpkg-shlibdeps. It runs in the staging directory
# of each component, and finds the project's own library in the library
# component's; that dependency comes from the component dependencies, at
# exactly this version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ../library${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
# The program carries the evaluator in itself and loads libedit with dlopen
# when a person types, which dpkg-shlibdeps cannot see: the version that
# has every function it calls.
if(CALCULATOR_HAVE_LIBEDIT)
  set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "libedit2 (>= 3.1-20140620)")
endif()

# The module is built for Python's stable ABI of 3.8, which every later
# Python 3 keeps; dpkg-shlibdeps adds the C and C++ run-times.
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= 3.8)")
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
  ${CALCULATOR_PACKAGING_DIR}/python3-calculator/postinst
  ${CALCULATOR_PACKAGING_DIR}/python3-calculator/prerm)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${CALCULATOR_PACKAGING_DIR}/triggers)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Read by the two script steps.
set(CPACK_CALCULATOR_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_CALCULATOR_LIBRARY_PACKAGE ${CALCULATOR_LIBRARY_PACKAGE})
set(CPACK_CALCULATOR_DEVELOPMENT_PACKAGE libcalculator-dev)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianStage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianFinish.cmake)

include(CPack)
