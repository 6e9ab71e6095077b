// The built-in names: one registry of the constants, the one-argument
// functions and the functions of nested evaluations. It drives the
// grammar's lookup, the dispatch of calls, and the name lists that the
// interfaces offer (and completion in the program with them).
//
// Adding a built-in takes one row below, and the function itself: here for
// one or two IEEE operations, in math/ for a transcendental function, in
// nested_evaluations.* for a function of nested evaluations. Every
// one-argument function answers an invalid argument with the default NaN
// (math/binary64.h).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "calculator/evaluation_frame.h"
#include "calculator/math/elementary.h"
#include "calculator/messages.h"
#include "calculator/nested_evaluations.h"

namespace calculator_core {

constexpr double kPi = 3.141592653589793;
constexpr double kE = 2.718281828459045;

// The one-argument functions of one or two IEEE operations.
namespace arithmetic_functions {

constexpr double kDegreesPerHalfTurn = 180.0;
// Negative arguments above this bound are rounding noise and count as zero.
constexpr double kSqrtTolerance = -1e-7;

inline double Absolute(double x) {
  return std::fabs(x);
}

inline double SquareRootWithTolerance(double x) {
  if (!(x < 0.0)) {
    return std::sqrt(x);  // also -0 -> -0 and NaN -> NaN
  }
  if (x > kSqrtTolerance) {
    return 0.0;
  }
  throw EvaluationError{messages::kSqrtDomain};
}

inline double RadiansToDegrees(double x) {
  double product = x * kDegreesPerHalfTurn;
  return product / kPi;
}

inline double DegreesToRadians(double x) {
  double product = x * kPi;
  return product / kDegreesPerHalfTurn;
}

}  // namespace arithmetic_functions

enum class BuiltinKind : std::uint8_t {
  kConstant,
  kOneArgumentFunction,
  kNestedEvaluationFunction
};

struct Builtin {
  const char* name;
  std::int32_t length;
  std::uint32_t hash;
  BuiltinKind kind;
  double value;                      // a constant's
  double (*apply)(double);           // a one-argument function's
  double (*call)(EvaluationFrame&);  // set's, integral's, sigma's: reads its own arguments
};

namespace builtin {
constexpr std::int32_t LengthOf(const char* name) {
  std::int32_t length = 0;
  while (name[length] != '\0') {
    ++length;
  }
  return length;
}
constexpr Builtin Constant(const char* name, double value) {
  return {name, LengthOf(name), HashOfName(name), BuiltinKind::kConstant, value, nullptr, nullptr};
}
constexpr Builtin OneArgument(const char* name, double (*apply)(double)) {
  return {name, LengthOf(name), HashOfName(name), BuiltinKind::kOneArgumentFunction,
          0.0,  apply,          nullptr};
}
constexpr Builtin NestedEvaluation(const char* name, double (*call)(EvaluationFrame&)) {
  return {
      name, LengthOf(name), HashOfName(name), BuiltinKind::kNestedEvaluationFunction, 0.0, nullptr,
      call};
}
}  // namespace builtin

// The constants first, then the functions, each in the order they are
// looked up and listed.
inline constexpr Builtin kBuiltins[] = {
    builtin::Constant("pi", kPi),
    builtin::Constant("e", kE),
    builtin::OneArgument("sin", math::Sin),
    builtin::OneArgument("cos", math::Cos),
    builtin::OneArgument("tan", math::Tan),
    builtin::OneArgument("log", math::Log),
    builtin::OneArgument("log10", math::Log10),
    builtin::OneArgument("abs", arithmetic_functions::Absolute),
    builtin::OneArgument("sqrt", arithmetic_functions::SquareRootWithTolerance),
    builtin::OneArgument("rad2deg", arithmetic_functions::RadiansToDegrees),
    builtin::OneArgument("deg2rad", arithmetic_functions::DegreesToRadians),
    builtin::NestedEvaluation("integral", IntegralFunction),
    builtin::NestedEvaluation("set", SetFunction),
    builtin::NestedEvaluation("sigma", SigmaFunction),
};
constexpr std::size_t kBuiltinCount = sizeof kBuiltins / sizeof kBuiltins[0];
constexpr std::size_t kConstantCount = 2;
static_assert(kBuiltins[kConstantCount - 1].kind == BuiltinKind::kConstant &&
                  kBuiltins[kConstantCount].kind != BuiltinKind::kConstant,
              "the constants come first");

// The constants' hashes as plain numbers, which the compiler folds into
// the comparisons: a loop step tests every name it resolves against them.
inline constexpr std::uint32_t kConstantHashes[kConstantCount] = {kBuiltins[0].hash,
                                                                  kBuiltins[1].hash};
static_assert(kConstantCount == 2, "every constant has its hash above");

inline bool IsConstantName(NameKey key) {
  for (std::size_t i = 0; i < kConstantCount; ++i) {
    if (key.hash == kConstantHashes[i] && SpelledAs(kBuiltins[i], key)) {
      return true;
    }
  }
  return false;
}

// The built-in that `key` names, or null.
inline const Builtin* FindBuiltin(NameKey key) {
  for (const Builtin& builtin : kBuiltins) {
    if (SpelledAs(builtin, key)) {
      return &builtin;
    }
  }
  return nullptr;
}

// The names by kind, for the interfaces' lists: null past the last.
inline const char* ConstantName(std::size_t index) {
  return index < kConstantCount ? kBuiltins[index].name : nullptr;
}
inline const char* FunctionName(std::size_t index) {
  return index < kBuiltinCount - kConstantCount ? kBuiltins[kConstantCount + index].name : nullptr;
}

}  // namespace calculator_core
