# The compiler warnings of this project's own code: the interface target
# calculator_warnings, which each of its targets links (the in-build
# libraries pass it on to the programs and tests that use them). A parent
# project and the consumers of the installed library never get them.
if(NOT TARGET calculator_warnings)
  add_library(calculator_warnings INTERFACE)
  target_compile_options(calculator_warnings INTERFACE -Wall -Wextra -Wpedantic
    $<$<BOOL:${CALCULATOR_WARNINGS_AS_ERRORS}>:-Werror>)
endif()
