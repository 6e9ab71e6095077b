// The two paths of sin, cos and tan (trigonometric.cpp), reachable on their
// own for the benchmarks that time the slow one and count how often the
// fast one cannot decide.
#pragma once

#include "calculator/math/double_double.h"
#include "calculator/math/multiprecision.h"

namespace calculator_core {
namespace math {

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
