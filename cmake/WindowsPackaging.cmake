# Installation and the ZIP package of the Windows build:
#
#   cmake --install build-windows --prefix some/dir
#   cd build-windows && cpack -G ZIP
#
#   bin/calculator.exe, bin/calculator.dll
#   lib/libcalculator.dll.a (import library), lib/libcalculator.a (static)
#   include/calculator/*.h, *.hpp
#   README.md, LICENSE, calculator.txt (the manual page as plain text)

install(TARGETS calculator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS calculator_shared calculator_static
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
)
install(FILES ${CALCULATOR_PUBLIC_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/calculator
)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

# The manual page, formatted as plain text with CR LF line ends for
# Notepad; left out, with a note, where groff is not installed.
find_program(CALCULATOR_GROFF groff)
if(CALCULATOR_GROFF)
  set(calculator_manual_text ${PROJECT_BINARY_DIR}/calculator.txt)
  add_custom_command(OUTPUT ${calculator_manual_text}
    COMMAND ${CMAKE_COMMAND} -DGROFF=${CALCULATOR_GROFF}
      -DMANUAL=${PROJECT_SOURCE_DIR}/man/calculator.1 -DOUTPUT=${calculator_manual_text}
      -P ${PROJECT_SOURCE_DIR}/cmake/ManualText.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/man/calculator.1 ${PROJECT_SOURCE_DIR}/cmake/ManualText.cmake
    VERBATIM
  )
  add_custom_target(calculator_manual_text ALL DEPENDS ${calculator_manual_text})
  install(FILES ${calculator_manual_text} DESTINATION .)
else()
  message(STATUS "groff not found: the Windows package has no calculator.txt")
endif()

set(CPACK_GENERATOR ZIP)
# Without the debugging information: a quarter of the size.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME calculator)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME windows-x86_64)
set(CPACK_PACKAGE_VENDOR "Calculator developers")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
include(CPack)
