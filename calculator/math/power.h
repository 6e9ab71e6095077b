// pow's two paths apart, so that the benchmarks can count how often the
// slow one runs; both for positive finite x and finite nonzero y.
#pragma once

#include "calculator/math/double_double.h"
#include "calculator/math/error_bounds.h"
#include "calculator/math/multiprecision.h"

namespace calculator_core {
namespace math {

// The fast path's error bound for a result near the table's hi, given
// y z (power.cpp derives it, error_bounds.sollya sums it): the only place
// the code applies it, so that a test feeding the rounding test values
// just inside it tests what the function does.
inline double PowErrorBound(double table_hi, double yz) {
  return table_hi * (error_bounds::kPowRest + error_bounds::kPowProduct * __builtin_fabs(yz));
}

// The same where |y z| is beyond 16 (x near 1, |y| large), log x taken to
// about 2^-80 |z| there.
inline double PowLargeProductErrorBound(double table_hi, double yz) {
  return table_hi * (error_bounds::kPowRest + error_bounds::kPowLargeProduct * __builtin_fabs(yz));
}

// True, with the correctly rounded x^y, when the fast path is sure of it.
bool PowFastPath(double x, double y, double& result);

// The fast path's double-double and error bound: false where x^y is
// beyond its range.
bool PowFastApproximation(double x, double y, BoundedApproximation& approximation);

// The rest: exact results, the range limits, and 320-bit arithmetic.
double PowSlowPath(double x, double y);

// The slow path's value before its rounding, for |y log x| below 745:
// exact where x^y is short enough, else within 2^-236 relative.
Multiprecision PowSlowValue(double x, double y);

}  // namespace math
}  // namespace calculator_core
