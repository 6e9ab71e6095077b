// Function calls: the call of a built-in function found in the registry,
// and the elementary functions that are one IEEE operation or two (the
// transcendental ones are in math/).
//
// An elementary function's argument is the whole sum that follows its name,
// so sin(0)+1 is the sine of 1; only parentheses around the whole call end
// the argument earlier.

#include "calculator/function_calls.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "calculator/builtins.h"
#include "calculator/characters.h"
#include "calculator/grammar.h"
#include "calculator/messages.h"

namespace calculator_core {

namespace {

constexpr double kDegreesPerHalfTurn = 180.0;
// Negative arguments above this bound are rounding noise and count as zero.
constexpr double kSqrtTolerance = -1e-7;

// The not-a-number that an invalid operation produces: sign set, quiet, no
// payload. Some library functions return another NaN for a domain error
// (log10 of a negative number, for one); every function here answers an
// invalid argument with this one, as the hardware's own operations do.
double InvalidOperationResult() {
  constexpr std::uint64_t kDefaultNaNBits = 0xFFF8000000000000u;
  double value;
  std::memcpy(&value, &kDefaultNaNBits, sizeof value);
  return value;
}

double ApplyElementary(double (*apply)(double), double x) {
  double value = apply(x);
  if (std::isnan(value) && !std::isnan(x)) {
    return InvalidOperationResult();
  }
  return value;
}

}  // namespace

double SquareRootWithTolerance(double x) {
  if (!(x < 0.0)) {
    return std::sqrt(x);  // also -0 -> -0 and NaN -> NaN
  }
  if (x > kSqrtTolerance) {
    return 0.0;
  }
  throw EvaluationError{messages::kSqrtDomain};
}

double RadiansToDegrees(double x) {
  double product = x * kDegreesPerHalfTurn;
  return product / kPi;
}

double DegreesToRadians(double x) {
  double product = x * kPi;
  return product / kDegreesPerHalfTurn;
}

double Absolute(double x) {
  return std::fabs(x);
}

double CallFunction(const Builtin& function, Calculator& calculator) {
  while (IsBlank(calculator.expression[calculator.cursor])) {
    ++calculator.cursor;
  }
  if (function.kind == BuiltinKind::kListFunction) {
    return function.call(calculator);
  }
  double x = ParseSum(calculator);
  return ApplyElementary(function.apply, x);
}

}  // namespace calculator_core
