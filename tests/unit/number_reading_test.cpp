// Number reading: every digits[.digits] text, short or long, reads as the
// double that fast_float's from_chars gives it (which is the nearest, ties
// to even), whichever of the two ways ReadDecimal takes.

#include "calculator/number_reading.h"

#include <fast_float/fast_float.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "calculator/math/binary64.h"

namespace {

using calculator_core::ReadDecimal;

using calculator_core::math::BitsOf;

TEST(ReadDecimal, AgreesWithFastFloatOnRandomTexts) {
  std::mt19937_64 random(20261208);
  int failures = 0;
  for (int i = 0; i < 200000 && failures < 10; ++i) {
    // 1 to 30 digits in all, up to 24 of them after a point, with runs of
    // zeros and nines that sit near the rounding points.
    const int integer_digits = 1 + static_cast<int>(random() % 20);
    const int fraction_digits = static_cast<int>(random() % 25) - 10;
    std::string text;
    const char* alphabet = (i % 3 == 0) ? "09" : (i % 3 == 1) ? "0123456789" : "05";
    const std::size_t letters = std::strlen(alphabet);
    for (int d = 0; d < integer_digits; ++d) {
      text += alphabet[random() % letters];
    }
    if (fraction_digits > 0) {
      text += '.';
      for (int d = 0; d < fraction_digits; ++d) {
        text += alphabet[random() % letters];
      }
    }
    // What follows the number in a line does not belong to it: a second
    // point, or an operator.
    const std::string line = text + (fraction_digits > 0 ? ".5+1" : "+1");
    const auto [end, read] = ReadDecimal(line.data(), line.data() + line.size());
    double expected = -1.0;
    fast_float::from_chars(text.data(), text.data() + text.size(), expected,
                           fast_float::chars_format::fixed);
    if (BitsOf(read) != BitsOf(expected) || end != line.data() + text.size()) {
      ++failures;
      ADD_FAILURE() << text << ": read " << read << " up to " << (end - line.data())
                    << ", expected " << expected;
    }
  }
}

TEST(ReadDecimal, LongestPrefixOfTheRun) {
  const struct {
    const char* text;
    double value;
    std::size_t length;
  } cases[] = {
      {"5.", 5.0, 1},
      {"1.2.3", 1.2, 3},
      {"1..2", 1.0, 1},
      {"007", 7.0, 3},
      {"0.1", 0.1, 3},
      {"123456789012345", 123456789012345.0, 15},
      {"9007199254740993", 9007199254740992.0, 16},  // ties to even past 2^53
      {"0.30000000000000004441", 0.30000000000000004, 22},
  };
  for (const auto& test_case : cases) {
    const char* text = test_case.text;
    const auto [end, value] = ReadDecimal(text, text + std::strlen(text));
    EXPECT_EQ(BitsOf(test_case.value), BitsOf(value)) << text;
    EXPECT_EQ(test_case.length, static_cast<std::size_t>(end - text)) << text;
  }
}

}  // namespace
