// The lines a console shows for the library: the prompt, the answer line of
// an evaluation ("Result is " and the value, or "Error : " and the message)
// and the line that stands where an interrupted evaluation's answer would.
#pragma once

#include <array>
#include <cstddef>

#include "calculator/calculator.h"
#include "calculator/messages.h"

namespace calculator_core {

inline constexpr char kPrompt[] = "Please input expression.";
inline constexpr char kResultPrefix[] = "Result is ";
inline constexpr char kErrorPrefix[] = "Error : ";

// Room for the longest answer line and its NUL.
constexpr std::size_t kAnswerLineSize = CALCULATOR_ANSWER_SIZE;

namespace detail {
// Two texts joined at compile time, so that a line made of a prefix and a
// message restates neither.
template <std::size_t kFirstSize, std::size_t kSecondSize>
constexpr std::array<char, kFirstSize + kSecondSize - 1> Joined(const char (&first)[kFirstSize],
                                                                const char (&second)[kSecondSize]) {
  std::array<char, kFirstSize + kSecondSize - 1> text{};
  for (std::size_t i = 0; i + 1 < kFirstSize; ++i) {
    text[i] = first[i];
  }
  for (std::size_t i = 0; i < kSecondSize; ++i) {
    text[kFirstSize - 1 + i] = second[i];
  }
  return text;
}
}  // namespace detail

// "Error : Interrupted.", NUL-terminated.
inline constexpr auto kInterruptedLine = detail::Joined(kErrorPrefix, messages::kInterrupted);

// Writes "Result is " and `value` with `digits` significant digits (see
// FormatNumberDigits) into `line`, which has room for kAnswerLineSize
// bytes, NUL-terminated; returns its length.
std::size_t WriteResultLine(double value, int digits, char* line);
// Writes "Error : " and `message`, cut to what fits, the same way.
std::size_t WriteErrorLine(const char* message, char* line);

}  // namespace calculator_core
