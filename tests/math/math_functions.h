// The elementary functions under test, by name, and the data file of
// expected results that the native harness writes for the other targets.
//
// An expected-results file has one line per call:
//     NAME ARGUMENT [ARGUMENT] RESULT
// with each double as the 16 hexadecimal digits of its bits, e.g.
//     log 4000000000000000 3fe62e42fefa39ef
#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "calculator/math/binary64.h"
#include "calculator/math/elementary.h"

namespace math_test {

using calculator_core::math::BitsOf;
using calculator_core::math::FromBits;

struct MathFunction {
  const char* name;
  int arity;                         // 1 or 2
  double (*unary)(double);           // when arity is 1
  double (*binary)(double, double);  // when arity is 2
};

inline constexpr MathFunction kMathFunctions[] = {
    {"sin", 1, calculator_core::math::Sin, nullptr},
    {"cos", 1, calculator_core::math::Cos, nullptr},
    {"tan", 1, calculator_core::math::Tan, nullptr},
    {"log", 1, calculator_core::math::Log, nullptr},
    {"log10", 1, calculator_core::math::Log10, nullptr},
    {"pow", 2, nullptr, calculator_core::math::Pow},
};

inline const MathFunction* FindMathFunction(const char* name) {
  for (const MathFunction& function : kMathFunctions) {
    if (std::strcmp(function.name, name) == 0) {
      return &function;
    }
  }
  return nullptr;
}

inline double Call(const MathFunction& function, double x, double y) {
  return function.arity == 1 ? function.unary(x) : function.binary(x, y);
}

// One line of an expected-results file.
inline void WriteExpectedCall(std::FILE* file, const MathFunction& function, double x, double y,
                              double result) {
  std::fprintf(file, "%s %016" PRIx64, function.name, BitsOf(x));
  if (function.arity == 2) {
    std::fprintf(file, " %016" PRIx64, BitsOf(y));
  }
  std::fprintf(file, " %016" PRIx64 "\n", BitsOf(result));
}

}  // namespace math_test
