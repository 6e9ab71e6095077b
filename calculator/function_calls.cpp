// Function calls: the dispatch from a registered function name to its
// implementation, and the nine elementary functions.
//
// An elementary function's argument is the whole sum that follows its name,
// so sin(0)+1 is the sine of 1; only parentheses around the whole call end
// the argument earlier.

#include <cmath>
#include <cstdint>
#include <cstring>

#include "calculator/characters.h"
#include "calculator/core.h"

namespace calculator_core {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegreesPerHalfTurn = 180.0;
// Negative arguments above this bound are rounding noise and count as zero.
constexpr double kSqrtTolerance = -1e-7;

double SquareRootWithTolerance(double x) {
  if (!(x < 0.0)) {
    return std::sqrt(x);  // also -0 -> -0 and NaN -> NaN
  }
  if (x > kSqrtTolerance) {
    return 0.0;
  }
  throw EvaluationError{"Function Error : sqrt(x) is defined x >= 0."};
}

double RadiansToDegrees(double x) {
  double product = x * kDegreesPerHalfTurn;
  return product / kPi;
}

double DegreesToRadians(double x) {
  double product = x * kPi;
  return product / kDegreesPerHalfTurn;
}

double Sine(double x) {
  return std::sin(x);
}
double Cosine(double x) {
  return std::cos(x);
}
double Tangent(double x) {
  return std::tan(x);
}
double NaturalLog(double x) {
  return std::log(x);
}
double CommonLog(double x) {
  return std::log10(x);
}
double Absolute(double x) {
  return std::fabs(x);
}

struct ElementaryFunction {
  const char* name;
  double (*apply)(double);
};

struct ListFunction {
  const char* name;
  double (*call)(Calculator&);
};

// Compared in this order; every comparison is of the whole name.
constexpr ElementaryFunction kElementaryFunctions[] = {
    {"sin", Sine},
    {"cos", Cosine},
    {"tan", Tangent},
    {"log", NaturalLog},
    {"log10", CommonLog},
    {"abs", Absolute},
    {"sqrt", SquareRootWithTolerance},
    {"rad2deg", RadiansToDegrees},
    {"deg2rad", DegreesToRadians},
};

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

double ApplyElementary(const ElementaryFunction& function, double x) {
  double value = function.apply(x);
  if (std::isnan(value) && !std::isnan(x)) {
    return InvalidOperationResult();
  }
  return value;
}

constexpr ListFunction kListFunctions[] = {
    {"set", SetFunction},
    {"integral", IntegralFunction},
    {"sigma", SigmaFunction},
};

}  // namespace

double CallFunction(const char* name, Calculator& calculator) {
  while (IsBlank(calculator.expression[calculator.cursor])) {
    ++calculator.cursor;
  }
  for (const ElementaryFunction& function : kElementaryFunctions) {
    if (std::strcmp(name, function.name) == 0) {
      double x = ParseSum(calculator);
      return ApplyElementary(function, x);
    }
  }
  for (const ListFunction& function : kListFunctions) {
    if (std::strcmp(name, function.name) == 0) {
      return function.call(calculator);
    }
  }
  throw EvaluationError{"Function Fatal Error : Registered in FunctionTable. But, not implement."};
}

}  // namespace calculator_core
