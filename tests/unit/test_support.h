// Helpers shared by the library's unit tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "calculator/argument_text.h"
#include "calculator/builtins.h"
#include "calculator/evaluation_frame.h"
#include "calculator/grammar.h"
#include "calculator/math/binary64.h"
#include "calculator/messages.h"
#include "calculator/number_format.h"
#include "calculator/variable_scopes.h"

namespace calculator_test {

using namespace calculator_core;

// The library's message texts, compared exactly: the library's own.
using namespace calculator_core::messages;
constexpr const char* kReportHeader = kReportHeadline;

// The double nearest to pi, and the one nearest to e, written out here so
// that the registry's values are checked (these hide the library's).
constexpr double kPi = 3.141592653589793;
constexpr double kE = 2.718281828459045;

// The built-in that `name` names, or null.
inline const Builtin* BuiltinNamed(const char* name) {
  return FindBuiltin(MakeNameKey(name));
}

// A double's bits and back: the library's own helpers.
using calculator_core::math::BitsOf;
using calculator_core::math::FromBits;

// Compares two doubles bit for bit, so -0 differs from +0 and NaN payloads
// and signs count.
inline ::testing::AssertionResult SameBits(double expected, double actual) {
  if (BitsOf(expected) == BitsOf(actual)) {
    return ::testing::AssertionSuccess();
  }
  char text[160];
  std::snprintf(text, sizeof text, "expected %.17g (0x%016llx), got %.17g (0x%016llx)", expected,
                static_cast<unsigned long long>(BitsOf(expected)), actual,
                static_cast<unsigned long long>(BitsOf(actual)));
  return ::testing::AssertionFailure() << text;
}

// The message of the evaluation error raised by `action`, or a marker text
// when nothing was raised.
template <typename Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const EvaluationError& error) {
    return error.message == nullptr ? std::string("<null message>") : std::string(error.message);
  }
  return "<no error>";
}

inline std::unique_ptr<EvaluationFrame> NewFrame() {
  return std::make_unique<EvaluationFrame>();
}

// What the tests read of a frame's variables, through the lookup that
// the evaluator itself uses.
inline bool HasVariable(const EvaluationFrame& frame, const char* name) {
  return LookUpVariable(frame, MakeNameKey(name)) != nullptr;
}
// The count of variables the frame sees, as a copy of them all would
// hold: its limit is kTableCapacity.
inline std::int32_t VisibleVariableCount(const EvaluationFrame& frame) {
  return frame.variables.visible_count;
}
// The value of the variable `name`; a failure of the test when there is
// none.
inline double VariableValue(const EvaluationFrame& frame, const char* name) {
  const Variable* variable = LookUpVariable(frame, MakeNameKey(name));
  if (variable == nullptr) {
    ADD_FAILURE() << "no variable \"" << name << "\"";
    return std::nan("");
  }
  return variable->value;
}

// Printf-style general notation with six significant digits.
inline std::string Shown(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace calculator_test
