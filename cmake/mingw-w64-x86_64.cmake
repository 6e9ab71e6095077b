# Cross-builds the calculator for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix: the threads model that std::thread needs).
#
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
#   cmake --build build-windows -j2
#
# When wine64 is installed, tests and other built programs run under it,
# in a wine prefix kept inside the build tree (see scripts/wine-run).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CALCULATOR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CALCULATOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CALCULATOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CALCULATOR_MINGW_PREFIX}-windres)

# Headers, libraries and package files of the target only; the build's
# own tools come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${CALCULATOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The host's pkg-config would offer the host's libraries.
set(PKG_CONFIG_EXECUTABLE "" CACHE FILEPATH "No pkg-config for the Windows target")

find_program(CALCULATOR_WINE64 wine64 PATHS /usr/lib/wine)
if(CALCULATOR_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
endif()
