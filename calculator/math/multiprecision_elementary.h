// The exponential and the logarithm in 320-bit arithmetic, for the slow
// paths of log, log10 and pow.
#pragma once

#include "calculator/math/double_double.h"
#include "calculator/math/multiprecision.h"

namespace calculator_core {
namespace math {

// e^w for |w| < 2^20, relative error below 2^-300.
Multiprecision MultiprecisionExp(const Multiprecision& w);

// log x for a positive finite double x, given an approximation of log x
// within 2^-60 |log x| of it: absolute error below 2^-298, so relative
// error below 2^-244.
Multiprecision MultiprecisionLog(double x, DoubleDouble approximation);

// The 320-bit forms of log 2 and 1 / log 10 (cut, not rounded).
Multiprecision Log2();
Multiprecision InverseLn10();

}  // namespace math
}  // namespace calculator_core
