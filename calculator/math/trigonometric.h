// The two paths of sin, cos and tan (trigonometric.cpp), reachable on their
// own for the benchmarks that time the slow one and count how often the
// fast one cannot decide.
#pragma once

#include "calculator/math/double_double.h"
#include "calculator/math/error_bounds.h"
#include "calculator/math/multiprecision.h"

namespace calculator_core {
namespace math {

// The fast path's error bounds (trigonometric.cpp, error_bounds.sollya:
// rounded up, with room for the rounding of the bound's own computation
// and for the table's high parts instead of the whole values), the only
// place the code applies them, so that the tests that feed the
// rounding test values just inside a bound test what the functions do.
// sin and cos as A cos r + B sin r, by |A| and |B r|:
inline double SineCosineErrorBound(double a_magnitude, double b_r_magnitude) {
  return error_bounds::kCosineTerm * a_magnitude + error_bounds::kSineTerm * b_r_magnitude;
}
// tan, by the quotient's magnitude:
inline double TangentErrorBound(double magnitude) {
  return error_bounds::kTangent * magnitude;
}

// True, with the correctly rounded result, when the fast path is sure of
// it; for a finite x.
bool SinFastPath(double x, double& result);
bool CosFastPath(double x, double& result);
bool TanFastPath(double x, double& result);

// The fast paths' double-double and error bound, for a finite x with
// |x| >= 2^-26.
BoundedApproximation SinFastApproximation(double x);
BoundedApproximation CosFastApproximation(double x);
BoundedApproximation TanFastApproximation(double x);

// The slow paths, for a finite x with |x| >= 2^-26 (below that the fast
// path always decides).
double SinSlowPath(double x);
double CosSlowPath(double x);
double TanSlowPath(double x);

// The slow paths' values before their rounding to a double, relative error
// below 2^-305 (trigonometric.cpp), for the tests of that precision.
Multiprecision SinSlowValue(double x);
Multiprecision CosSlowValue(double x);
Multiprecision TanSlowValue(double x);

}  // namespace math
}  // namespace calculator_core
