// The answer line: "Result is " and the number, or "Error : " and the
// message, bounded by CALCULATOR_ANSWER_SIZE.
#include "calculator/answer_line.h"

#include <cstring>

#include "calculator/number_format.h"

namespace calculator_core {

namespace {

constexpr std::size_t kResultPrefixLength = sizeof kResultPrefix - 1;
constexpr std::size_t kErrorPrefixLength = sizeof kErrorPrefix - 1;
static_assert(kResultPrefixLength + kNumberTextSize <= kAnswerLineSize);
// Messages are constant texts far shorter than this; the bound only keeps
// the line within its buffer whatever they hold.
constexpr std::size_t kLongestMessage = kAnswerLineSize - kErrorPrefixLength - 1;
static_assert(sizeof kInterruptedLine <= kAnswerLineSize);

}  // namespace

std::size_t WriteResultLine(double value, int digits, char* line) {
  std::memcpy(line, kResultPrefix, kResultPrefixLength);
  return kResultPrefixLength +
         static_cast<std::size_t>(FormatNumberDigits(value, digits, line + kResultPrefixLength));
}

std::size_t WriteErrorLine(const char* message, char* line) {
  std::memcpy(line, kErrorPrefix, kErrorPrefixLength);
  const std::size_t length = strnlen(message, kLongestMessage);
  std::memcpy(line + kErrorPrefixLength, message, length);
  line[kErrorPrefixLength + length] = '\0';
  return kErrorPrefixLength + length;
}

}  // namespace calculator_core
