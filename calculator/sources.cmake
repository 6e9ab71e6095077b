# The evaluator library's sources, in this folder: the one list that the
# native build (CMakeLists.txt here) and the WebAssembly build (web/) share.
set(CALCULATOR_LIBRARY_SOURCES
  evaluation_frame.cpp
  variable_scopes.cpp
  grammar.cpp
  argument_text.cpp
  nested_evaluations.cpp
  number_reading.cpp
  decimal_form.cpp
  number_format.cpp
  answer_line.cpp
  c_api.cpp
  math/multiprecision.cpp
  math/multiprecision_elementary.cpp
  math/logarithm.cpp
  math/power.cpp
  math/argument_reduction.cpp
  math/trigonometric.cpp
)
