# CPack step after the Debian packages are built: the library package gets
# what Debian's library packages have and CPack does not make.
# - An ldconfig trigger (packaging/triggers, already in the package) instead
#   of the maintainer scripts that CPack writes to call ldconfig.
# - A symbols file, so that programs depend on the version that introduced
#   the symbols they use.
# The package is unpacked, changed and built again with dpkg-deb.

find_program(dpkg_deb dpkg-deb REQUIRED)
find_program(dpkg_gensymbols dpkg-gensymbols REQUIRED)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command} failed:\n${errors}")
  endif()
endfunction()

set(package ${CPACK_CALCULATOR_LIBRARY_PACKAGE})
foreach(file IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${file} NAME)
  if(NOT name MATCHES "^${package}_")
    continue()
  endif()
  set(tree ${file}.tree)
  file(REMOVE_RECURSE ${tree})
  run(${dpkg_deb} --raw-extract ${file} ${tree})

  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)

  file(GLOB_RECURSE libraries LIST_DIRECTORIES false ${tree}/usr/lib*/libcalculator.so.*)
  set(library_options)
  foreach(library IN LISTS libraries)
    if(NOT IS_SYMLINK ${library})
      list(APPEND library_options -e${library})
    endif()
  endforeach()
  run(${dpkg_gensymbols} -q -p${package} -P${tree} -v${CPACK_PACKAGE_VERSION}
    -O${tree}/DEBIAN/symbols ${library_options})
  file(STRINGS ${tree}/DEBIAN/symbols symbols)
  list(INSERT symbols 1 "* Build-Depends-Package: ${CPACK_CALCULATOR_DEVELOPMENT_PACKAGE}")
  list(JOIN symbols "\n" symbols)
  file(WRITE ${tree}/DEBIAN/symbols "${symbols}\n")
  file(CHMOD ${tree}/DEBIAN/symbols PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

  file(REMOVE ${file})
  run(${dpkg_deb} --root-owner-group --build ${tree} ${file})
  file(REMOVE_RECURSE ${tree})
endforeach()
