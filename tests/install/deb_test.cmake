# Builds the Debian packages (three, and python3-calculator when the build
# has the Python package) with CPack into a fresh folder, checks
# their fields and contents, runs lintian on them, then installs them with
# apt-get, uses what they installed, removes them again and checks that
# nothing is left behind. The apt-get part needs root (CI runs as root on a
# machine of its own) and is skipped otherwise.
#
# Variables: BUILD_DIR, SOURCE_DIR, WORK_DIR, CONFIG, INSTALL_PREFIX, PYTHON_PACKAGE,
# C_COMPILER, C_FLAGS, C_LINK_DRIVER, C_LINK_FLAGS, VERSION, BINDIR, LIBDIR,
# INCLUDEDIR, MANDIR, DATADIR.

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
  message("SKIPPED: dpkg-deb and dpkg-shlibdeps (Debian: dpkg-dev) are needed")
  return()
endif()
if(NOT INSTALL_PREFIX STREQUAL "/usr")
  message("SKIPPED: packages are built from a tree configured with -DCMAKE_INSTALL_PREFIX=/usr, "
          "not ${INSTALL_PREFIX}")
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
string(REGEX MATCH "^[0-9]+" major "${VERSION}")
set(packages calculator libcalculator${major} libcalculator-dev)
if(PYTHON_PACKAGE)
  list(APPEND packages python3-calculator)
endif()
set(files)
foreach(package IN LISTS packages)
  file(GLOB file ${WORK_DIR}/${package}_${VERSION}_*.deb)
  if(NOT file)
    message(FATAL_ERROR "no package ${package}_${VERSION}_*.deb in ${WORK_DIR}")
  endif()
  set(deb_${package} ${file})
  list(APPEND files ${file})
endforeach()

# ---- Control fields -------------------------------------------------------

function(expect_field package field pattern)
  run_checked(${DPKG_DEB} --field ${deb_${package}} ${field})
  string(STRIP "${run_output}" value)
  if(NOT value MATCHES "${pattern}")
    message(FATAL_ERROR "${package}: ${field}: '${value}' does not match '${pattern}'")
  endif()
endfunction()

string(REPLACE "." "\\." version_pattern "${VERSION}")
set(library libcalculator${major})
expect_field(calculator Section "^math$")
expect_field(${library} Section "^libs$")
expect_field(libcalculator-dev Section "^libdevel$")
if(PYTHON_PACKAGE)
  expect_field(python3-calculator Section "^python$")
  # The library is compiled into the module.
  expect_field(python3-calculator Depends "^python3 \\(>= 3\\.8\\), .*libstdc\\+\\+6")
  run_checked(${DPKG_DEB} --field ${deb_python3-calculator} Depends)
  if(run_output MATCHES "${library}")
    message(FATAL_ERROR "python3-calculator depends on ${library}: ${run_output}")
  endif()
endif()
foreach(package IN LISTS packages)
  expect_field(${package} Version "^${version_pattern}$")
  expect_field(${package} Maintainer "^[^<]+ <[^ >]+@[^ >]+>$")
  # A synopsis and two to four lines of description.
  expect_field(${package} Description
    "^[^\n]+\n [^\n]+\n [^\n]+(\n [^\n]+)?(\n [^\n]+)?$")
endforeach()
# The program carries the evaluator in itself, and loads libedit by dlopen.
expect_field(calculator Depends "(^|, )libedit2 \\(>= [^)]+\\)(,|$)")
run_checked(${DPKG_DEB} --field ${deb_calculator} Depends)
if(run_output MATCHES "${library}")
  message(FATAL_ERROR "calculator depends on ${library}, which it does not use: ${run_output}")
endif()
expect_field(calculator Depends "libc6 \\(>= [^)]+\\)")
expect_field(${library} Depends "libstdc\\+\\+6 \\(>= [^)]+\\)")
expect_field(libcalculator-dev Depends "(^|, )${library} \\(= ${version_pattern}\\)(,|$)")

# The library package triggers ldconfig and has no maintainer scripts.
run_checked(${DPKG_DEB} --control ${deb_${library}} ${WORK_DIR}/control)
file(READ ${WORK_DIR}/control/triggers triggers)
if(NOT triggers STREQUAL "activate-noawait ldconfig\n")
  message(FATAL_ERROR "${library}: triggers file: ${triggers}")
endif()
foreach(script postinst postrm preinst prerm)
  if(EXISTS ${WORK_DIR}/control/${script})
    message(FATAL_ERROR "${library} has a ${script} script")
  endif()
endforeach()
file(STRINGS ${WORK_DIR}/control/symbols symbols)
if(NOT symbols MATCHES "Build-Depends-Package: libcalculator-dev"
   OR NOT symbols MATCHES " calculator_evaluate@")
  message(FATAL_ERROR "${library}: symbols file:\n${symbols}")
endif()

# ---- Contents -------------------------------------------------------------

# Every file of a package, from its table of contents.
function(package_files package variable)
  run_checked(${DPKG_DEB} --contents ${deb_${package}})
  string(REGEX MATCHALL "\\./usr/[^\n]*[^/\n]\n" entries "${run_output}")
  list(TRANSFORM entries REPLACE "^\\./|\n$| -> .*" "")
  set(${variable} ${entries} PARENT_SCOPE)
endfunction()

set(doc usr/${DATADIR}/doc)
set(contents_calculator
  usr/${BINDIR}/calculator usr/${MANDIR}/man1/calculator.1.gz
  ${doc}/calculator/README.md ${doc}/calculator/copyright ${doc}/calculator/changelog.gz)
set(contents_${library}
  usr/${LIBDIR}/libcalculator.so.${major} usr/${LIBDIR}/libcalculator.so.${VERSION}
  ${doc}/${library}/copyright ${doc}/${library}/changelog.gz)
set(python_dir usr/lib/python3/dist-packages/calculator)
set(contents_python3-calculator
  ${python_dir}/__init__.py ${python_dir}/__init__.pyi ${python_dir}/__main__.py
  ${python_dir}/py.typed ${python_dir}/_calculator.abi3.so
  ${doc}/python3-calculator/copyright ${doc}/python3-calculator/changelog.gz)
set(cmake_dir usr/${LIBDIR}/cmake/calculator)
set(contents_libcalculator-dev
  usr/${INCLUDEDIR}/calculator/calculator.h usr/${INCLUDEDIR}/calculator/calculator.hpp
  usr/${INCLUDEDIR}/calculator/calculator_export.h
  usr/${INCLUDEDIR}/calculator/calculator_version.h
  usr/${LIBDIR}/libcalculator.so usr/${LIBDIR}/libcalculator.a
  usr/${LIBDIR}/pkgconfig/calculator.pc
  ${cmake_dir}/calculatorConfig.cmake ${cmake_dir}/calculatorConfigVersion.cmake
  ${cmake_dir}/calculatorTargets.cmake
  ${doc}/libcalculator-dev/copyright ${doc}/libcalculator-dev/changelog.gz)
foreach(package IN LISTS packages)
  package_files(${package} found)
  list(FILTER found EXCLUDE REGEX "^${cmake_dir}/calculatorTargets-[a-z]+\\.cmake$")
  set(wanted ${contents_${package}})
  list(SORT found)
  list(SORT wanted)
  if(NOT found STREQUAL wanted)
    string(REPLACE ";" "\n  " found "${found}")
    string(REPLACE ";" "\n  " wanted "${wanted}")
    message(FATAL_ERROR "${package} holds:\n  ${found}\nexpected:\n  ${wanted}")
  endif()
endforeach()

# ---- lintian --------------------------------------------------------------

find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(FATAL_ERROR "lintian is not installed (Debian: lintian)")
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error,warning --display-info ${files}
  RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE errors)
message("lintian:\n${report}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lintian rejects the packages:\n${report}${errors}")
endif()

# ---- Installed with apt-get -----------------------------------------------

execute_process(COMMAND id -u OUTPUT_VARIABLE user OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT user STREQUAL "0")
  message("SKIPPED: installing the packages with apt-get needs root; the packages, "
          "their contents and lintian were checked")
  return()
endif()
foreach(package IN LISTS packages)
  execute_process(COMMAND dpkg-query -W -f=\${Status} ${package}
    OUTPUT_VARIABLE status ERROR_QUIET)
  if(status MATCHES "installed")
    message("SKIPPED: ${package} is installed on this machine already; it is left alone")
    return()
  endif()
endforeach()

set(ENV{DEBIAN_FRONTEND} noninteractive)
run_checked(apt-get install -y -q --no-install-recommends ${files})

# Every check of the installed packages runs; the packages are removed
# before the test fails.
set(problems)
function(check_installed)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output
    ERROR_VARIABLE errors INPUT_FILE ${WORK_DIR}/input.txt)
  list(JOIN ARGN " " command)
  set(check_output "${output}" PARENT_SCOPE)
  if(NOT status EQUAL 0)
    set(problems "${problems}${command}: status ${status}\n${output}${errors}\n" PARENT_SCOPE)
  endif()
endfunction()
function(check_text name text pattern)
  if(NOT text MATCHES "${pattern}")
    set(problems "${problems}${name}: '${text}' does not match '${pattern}'\n" PARENT_SCOPE)
  endif()
endfunction()

set(installed_paths)
foreach(package IN LISTS packages)
  run_checked(dpkg -L ${package})
  string(REPLACE "\n" ";" paths "${run_output}")
  list(APPEND installed_paths ${paths})
endforeach()

file(WRITE ${WORK_DIR}/input.txt "")
check_installed(/usr/bin/calculator --version)
check_text("calculator --version" "${check_output}" "^calculator ${version_pattern}\n")
check_text("calculator --version" "${check_output}" "MIT")
file(WRITE ${WORK_DIR}/input.txt "2*sigma(i,1,3,i)+1\n")
check_installed(/usr/bin/calculator)
check_text("calculator" "${check_output}" "^Please input expression\\.\nResult is 13\n$")
file(WRITE ${WORK_DIR}/input.txt "")
check_installed(man -w calculator)
check_text("man -w calculator" "${check_output}" "^/usr/${MANDIR}/man1/calculator\\.1\\.gz\n$")
check_installed(/sbin/ldconfig -p)
check_text("ldconfig -p" "${check_output}" "libcalculator\\.so\\.${major} ")

# Debian's Python finds the package, and nothing but it: -I leaves out the
# environment's paths and the current folder.
if(PYTHON_PACKAGE)
  file(WRITE ${WORK_DIR}/use_package.py [=[
import calculator
session = calculator.Session()
session["r"] = 2
print(session.answer("pi*r^2"), calculator.__file__)
]=])
  file(WRITE ${WORK_DIR}/input.txt "")
  check_installed(/usr/bin/python3 -I ${WORK_DIR}/use_package.py)
  check_text("python3 use_package.py" "${check_output}"
    "^Result is 12\\.5664 /${python_dir}/__init__\\.py\n$")
  file(WRITE ${WORK_DIR}/input.txt "2*sigma(i,1,3,i)+1\n")
  check_installed(/usr/bin/python3 -I -m calculator)
  check_text("python3 -m calculator" "${check_output}" "^Please input expression\\.\nResult is 13\n$")
endif()

# A C program against the installed -dev package, found by pkg-config alone.
unset(ENV{PKG_CONFIG_PATH})
unset(ENV{PKG_CONFIG_LIBDIR})
execute_process(COMMAND ${CMAKE_COMMAND}
    -DC_COMPILER=${C_COMPILER} -DC_FLAGS=${C_FLAGS} -DC_LINK_DRIVER=${C_LINK_DRIVER}
    -DC_LINK_FLAGS=${C_LINK_FLAGS} -DSOURCE=${CMAKE_CURRENT_LIST_DIR}/c_api_test.c
    -DOUTPUT=${WORK_DIR}/c_api_test -P ${CMAKE_CURRENT_LIST_DIR}/build_c_api_test.cmake
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(status EQUAL 0)
  check_installed(${WORK_DIR}/c_api_test)
  check_text("c_api_test" "${check_output}" "^ok\n$")
else()
  set(problems "${problems}building c_api_test against the package failed:\n${output}${errors}\n")
endif()

run_checked(apt-get purge -y -q ${packages})

# ---- Nothing left behind --------------------------------------------------

foreach(package IN LISTS packages)
  execute_process(COMMAND dpkg-query -W -f=\${Status} ${package}
    OUTPUT_VARIABLE status ERROR_QUIET)
  if(status MATCHES "installed|config-files")
    string(APPEND problems "${package} is still known to dpkg: ${status}\n")
  endif()
endforeach()
foreach(path IN LISTS installed_paths)
  # Directories that other packages share (/usr, /usr/lib, ...) stay.
  if(EXISTS "${path}" AND NOT IS_DIRECTORY "${path}" OR IS_SYMLINK "${path}")
    string(APPEND problems "left behind: ${path}\n")
  endif()
endforeach()
foreach(directory ${doc}/calculator ${doc}/${library} ${doc}/libcalculator-dev
    ${doc}/python3-calculator usr/${INCLUDEDIR}/calculator ${cmake_dir} ${python_dir})
  if(EXISTS /${directory})
    string(APPEND problems "left behind: /${directory}\n")
  endif()
endforeach()
execute_process(COMMAND /sbin/ldconfig -p OUTPUT_VARIABLE cache)
if(cache MATCHES "libcalculator")
  string(APPEND problems "the loader cache still lists libcalculator\n")
endif()

if(problems)
  message(FATAL_ERROR "${problems}")
endif()
message("installed ${packages} with apt-get, used them, and removed them without a trace")
