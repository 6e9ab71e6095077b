# fast_float (Debian's libfast-float-dev, header-only): the one number reader
# of every build. Cross builds (MinGW, Emscripten) search the target's
# headers only, so the host's fast_float is found outside the find root and
# reached through a link in this project's own build tree: the include
# directory that the library gets holds fast_float alone, not the rest of
# the host's headers, and nothing is written into a parent project's tree.
#
# Defines calculator_fast_float_include_dir.
find_path(CALCULATOR_FAST_FLOAT_DIR fast_float/fast_float.h
  PATHS /usr/include /usr/local/include
  NO_CMAKE_FIND_ROOT_PATH
)
if(NOT CALCULATOR_FAST_FLOAT_DIR)
  message(FATAL_ERROR "fast_float/fast_float.h not found: install libfast-float-dev "
                      "(scripts/packages.sh), or set CALCULATOR_FAST_FLOAT_DIR")
endif()
set(calculator_fast_float_include_dir ${PROJECT_BINARY_DIR}/fast_float_include)
file(MAKE_DIRECTORY ${calculator_fast_float_include_dir})
if(IS_DIRECTORY ${calculator_fast_float_include_dir}/fast_float
   AND NOT IS_SYMLINK ${calculator_fast_float_include_dir}/fast_float)
  file(REMOVE_RECURSE ${calculator_fast_float_include_dir}/fast_float)  # an older build's copy
endif()
file(CREATE_LINK ${CALCULATOR_FAST_FLOAT_DIR}/fast_float
  ${calculator_fast_float_include_dir}/fast_float SYMBOLIC)
