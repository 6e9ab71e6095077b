// Helpers shared by the calculator unit tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "calculator/core.h"

namespace calculator_test {

using namespace calculator_core;

// The calculator's message texts, compared exactly.
constexpr const char* kConstNotImplemented =
    "Const Fatal Error : Registered in ConstTable. But, not implement.";
constexpr const char* kDivideByZero = "Can't divide by 0.";
constexpr const char* kFunctionNotImplemented =
    "Function Fatal Error : Registered in FunctionTable. But, not implement.";
constexpr const char* kListNotClosed = "SplitArguments Error : ) has not been closed.";
constexpr const char* kNotClosed = "Func6 Error : ) has not been closed.";
constexpr const char* kNotEnoughArguments =
    "SplitArguments Error : There are not enough arguments.";
constexpr const char* kOpenMissing = "SplitArguments Error : ( is missing.";
constexpr const char* kParseError = "Func6 Error : Parse Error.";
constexpr const char* kReportHeader = "Function Error : Wrong define in \"function\".";
constexpr const char* kSqrtDomain = "Function Error : sqrt(x) is defined x >= 0.";
constexpr const char* kTooManyVariables = "Variable Error : Too many variables.";
constexpr const char* kVariableNotFound = "Variable Error : Variable not found.";
constexpr const char* kWrongCharacter = "Func6 Error : Wrong character.";

// The double nearest to pi, and the one nearest to e.
constexpr double kPi = 3.141592653589793;
constexpr double kE = 2.718281828459045;

inline std::uint64_t Bits(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline double FromBits(std::uint64_t bits) {
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Compares two doubles bit for bit, so -0 differs from +0 and NaN payloads
// and signs count.
inline ::testing::AssertionResult SameBits(double expected, double actual) {
  if (Bits(expected) == Bits(actual)) {
    return ::testing::AssertionSuccess();
  }
  char text[160];
  std::snprintf(text, sizeof text, "expected %.17g (0x%016llx), got %.17g (0x%016llx)", expected,
                static_cast<unsigned long long>(Bits(expected)), actual,
                static_cast<unsigned long long>(Bits(actual)));
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

inline std::unique_ptr<Calculator> NewCalculator() {
  return std::make_unique<Calculator>();
}

// Puts `text` into the expression buffer with the cursor at `cursor`, the way
// Calculate leaves a calculator before it starts parsing.
inline void Load(Calculator& calculator, const char* text, std::int32_t cursor = 0) {
  std::memset(calculator.expression, 0, kTextBufferSize);
  std::strcpy(calculator.expression, text);
  calculator.length = static_cast<std::int32_t>(std::strlen(text));
  calculator.cursor = cursor;
}

// Printf-style general notation with six significant digits.
inline std::string Shown(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace calculator_test
