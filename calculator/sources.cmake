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

# The floating-point mode the math's error bounds rely on: every double
# operation rounded on its own (no contraction into fused multiply-adds),
# no value-changing optimisations. Set here, where every build of these
# sources (native, web, Windows, the math tests) takes the list from, on
# each target that compiles them or the math headers; the math files stop
# with an #error where a macro shows another mode (floating_point_mode.h).
set(CALCULATOR_FLOATING_POINT_OPTIONS -ffp-contract=off -fno-fast-math)
function(calculator_strict_floating_point target scope)
  target_compile_options(${target} ${scope} ${CALCULATOR_FLOATING_POINT_OPTIONS})
endfunction()
