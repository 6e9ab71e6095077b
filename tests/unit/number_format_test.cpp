// The console's number format: six (or N) significant digits, rounded half
// away from zero by the next digit of the 17-digit decimal form, fixed
// notation for decimal exponents -4..N-1, otherwise scientific with a sign
// and at least three exponent digits, and the 1.#... forms for values that
// are not finite; or the shortest decimal that reads back.

#include "calculator/number_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "calculator/math/binary64.h"

namespace {

// Values of the random comparison with the C++ library's to_chars.
constexpr int kRandomValues = 1000000;

using calculator_core::FormatNumberDigits;
using calculator_core::kNumberTextSize;

using calculator_core::math::FromBits;

// Calls FormatNumberDigits on a buffer filled with junk and checks the
// returned length against the terminator it wrote.
std::string Format(double value, int digits = CALCULATOR_DEFAULT_DIGITS) {
  char out[kNumberTextSize];
  std::memset(out, 'Z', sizeof out);
  const int length = FormatNumberDigits(value, digits, out);
  EXPECT_GE(length, 1);
  EXPECT_LT(length, kNumberTextSize);
  if (length < 1 || length >= kNumberTextSize) {
    return "<bad length " + std::to_string(length) + ">";
  }
  EXPECT_EQ('\0', out[length]) << "no terminator after the returned length";
  EXPECT_EQ(static_cast<std::size_t>(length), std::strlen(out));
  return std::string(out, static_cast<std::size_t>(length));
}

struct FormatCase {
  double value;
  const char* text;
};

void CheckAll(const FormatCase* cases, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.17g", cases[i].value);
    EXPECT_EQ(cases[i].text, Format(cases[i].value)) << "value " << shown;
  }
}

TEST(FormatNumber, ZerosAndSigns) {
  const FormatCase cases[] = {
      {0.0, "0"},   {-0.0, "-0"},   {1.0, "1"},   {-1.0, "-1"},
      {0.5, "0.5"}, {-2.5, "-2.5"}, {8.5, "8.5"}, {100.5, "100.5"},
  };
  CheckAll(cases, std::size(cases));
}

TEST(FormatNumber, FixedNotationKeepsSixSignificantDigits) {
  const FormatCase cases[] = {
      {10.0 / 3.0, "3.33333"},
      {2.0 / 3.0, "0.666667"},
      {-2.0 / 3.0, "-0.666667"},
      {1.0 / 3.0, "0.333333"},
      {0.1 + 0.2, "0.3"},
      {0.1, "0.1"},
      {123.456, "123.456"},
      {65536.0, "65536"},
      {99999.0, "99999"},
      {123456.0, "123456"},
      {-123456.0, "-123456"},
      {999999.0, "999999"},
      {3.141592653589793, "3.14159"},
      {6.283185307179586, "6.28319"},
      {2.718281828459045, "2.71828"},
      {1071.4310768946395, "1071.43"},
      {0.001, "0.001"},
      {0.01, "0.01"},
  };
  CheckAll(cases, std::size(cases));
}

// The seventh digit of the 17-digit form decides, not the exact binary value:
// 12345.65 is 12345.649999999999636... but its 17-digit form ends ...650000.
TEST(FormatNumber, RoundsHalfAwayFromZeroOnTheSeventeenDigitForm) {
  const FormatCase cases[] = {
      {1234565.0, "1.23457e+006"},
      {1234564.0, "1.23456e+006"},
      {-1234565.0, "-1.23457e+006"},
      {1000005.0, "1.00001e+006"},
      {1000004.0, "1e+006"},
      {123456.5, "123457"},
      {-123456.5, "-123457"},
      {123456.4, "123456"},
      {12345.65, "12345.7"},
      {0.1234565, "0.123457"},
      {123.4565, "123.457"},
      {0.0001000005, "0.000100001"},
      {1.234565, "1.23456"},
      {0.00001234565, "1.23456e-005"},
      {1.0000005, "1"},
      {7.0000005, "7"},
  };
  CheckAll(cases, std::size(cases));
}

// Values that round to a power of ten move to the next decimal exponent, which
// can switch the notation.
TEST(FormatNumber, RoundingCarriesAcrossExponentBoundaries) {
  const FormatCase cases[] = {
      {999999.4, "999999"},
      {999999.49999999994, "999999"},
      {999999.5, "1e+006"},
      {-999999.5, "-1e+006"},
      {99999.95, "99999.9"},
      {99999.96, "100000"},
      {99999.99, "100000"},
      {99999.5, "99999.5"},
      {9.999995e-05, "0.0001"},
      {0.0001 * 0.99999995, "0.0001"},
      {0.000099999949, "9.99999e-005"},
      {0.0000999995, "9.99995e-005"},
      {0.00009999949999, "9.99995e-005"},
      {0.000099999, "9.9999e-005"},
      {9.999995e10, "1e+011"},
      {9.9999949e10, "9.99999e+010"},
      {1e99, "1e+099"},
      {1e23, "1e+023"},
  };
  CheckAll(cases, std::size(cases));
}

TEST(FormatNumber, NotationSwitchesAtExponentsMinusFourAndSix) {
  const FormatCase cases[] = {
      {0.0001, "0.0001"},
      {-0.0001, "-0.0001"},
      {0.000123456, "0.000123456"},
      {0.0001234567, "0.000123457"},
      {0.00001, "1e-005"},
      {-0.00001, "-1e-005"},
      {1.5e-5, "1.5e-005"},
      {1e5, "100000"},
      {100000.5, "100001"},
      {1e6, "1e+006"},
      {-1e6, "-1e+006"},
      {1234567.0, "1.23457e+006"},
      {123456789.0, "1.23457e+008"},
      {1e-7, "1e-007"},
      {-1e-7, "-1e-007"},
      {1e-10, "1e-010"},
  };
  CheckAll(cases, std::size(cases));
}

TEST(FormatNumber, ScientificNotationHasAtLeastThreeExponentDigits) {
  const FormatCase cases[] = {
      {1e15, "1e+015"},   {1e16, "1e+016"},    {9007199254740992.0, "9.0072e+015"},
      {1e21, "1e+021"},   {1e22, "1e+022"},    {1267650600228229401496703205376.0, "1.26765e+030"},
      {1e100, "1e+100"},  {1e-100, "1e-100"},  {1e300, "1e+300"},
      {1e-300, "1e-300"}, {-1e300, "-1e+300"},
  };
  CheckAll(cases, std::size(cases));
}

TEST(FormatNumber, ExtremesAndDenormals) {
  const FormatCase cases[] = {
      {DBL_MAX, "1.79769e+308"},
      {-DBL_MAX, "-1.79769e+308"},
      {FromBits(0x7FE0000000000000), "8.98847e+307"},
      {DBL_MIN, "2.22507e-308"},
      {-DBL_MIN, "-2.22507e-308"},
      {FromBits(0x000FFFFFFFFFFFFF), "2.22507e-308"},  // largest denormal
      {FromBits(0x0000000000000001), "4.94066e-324"},  // smallest denormal
      {FromBits(0x8000000000000001), "-4.94066e-324"},
      {FromBits(0x0000000000004000), "8.09477e-320"},  // 2^-1060
      {FromBits(0x0000001000000000), "3.39519e-313"},  // 2^-1038
  };
  CheckAll(cases, std::size(cases));
}

TEST(FormatNumber, NonFiniteValuesFromBitPatterns) {
  const struct {
    std::uint64_t bits;
    const char* text;
  } cases[] = {
      {0x7FF0000000000000, "1.#INF"},   {0xFFF0000000000000, "-1.#INF"},
      {0xFFF8000000000000, "-1.#IND"},  {0x7FF8000000000000, "1.#QNAN"},
      {0xFFF8000000000001, "-1.#QNAN"}, {0x7FF8000000000001, "1.#QNAN"},
      {0x7FFFFFFFFFFFFFFF, "1.#QNAN"},  {0xFFFFFFFFFFFFFFFF, "-1.#QNAN"},
      {0xFFFC000000000000, "-1.#QNAN"}, {0x7FF0000000000001, "1.#SNAN"},
      {0xFFF4000000000000, "-1.#SNAN"}, {0x7FF4000000000000, "1.#SNAN"},
      {0xFFF0000000000001, "-1.#SNAN"}, {0x7FF7FFFFFFFFFFFF, "1.#SNAN"},
  };
  for (const auto& test_case : cases) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "0x%016llX",
                  static_cast<unsigned long long>(test_case.bits));
    EXPECT_EQ(test_case.text, Format(FromBits(test_case.bits))) << "bits " << shown;
  }
}

// More digits on request: the same rules with N digits, and the shortest
// text that reads back, in fixed notation up to 16 as with 17 digits.
TEST(FormatNumber, MoreDigitsOnRequest) {
  const struct {
    double value;
    int digits;
    const char* text;
  } cases[] = {
      {0.1 + 0.2, 17, "0.30000000000000004"},
      {1.4142135623730951, 17, "1.4142135623730951"},
      {1267650600228229401496703205376.0, 17, "1.2676506002282294e+030"},
      {0.1, 17, "0.10000000000000001"},
      {-0.0, 17, "-0"},
      {1e16, 17, "10000000000000000"},
      {1e17, 17, "1e+017"},
      {0.00012345678901234567, 17, "0.00012345678901234567"},
      {-2.2250738585072014e-308, 17, "-2.2250738585072014e-308"},
      {FromBits(0x0000000000000001), 17, "4.9406564584124654e-324"},
      {DBL_MAX, 17, "1.7976931348623157e+308"},
      {2.0 / 3.0, 1, "0.7"},
      {95.0, 1, "1e+002"},
      {9.5, 1, "1e+001"},
      {0.15, 1, "0.1"},  // 0.14999999999999999
      {2.0 / 3.0, 15, "0.666666666666667"},
      {123456789.0, 9, "123456789"},
      {123456789.0, 8, "1.2345679e+008"},
      {FromBits(0xFFF8000000000000), 17, "-1.#IND"},
      {0.1, CALCULATOR_SHORTEST_DIGITS, "0.1"},
      {0.1 + 0.2, CALCULATOR_SHORTEST_DIGITS, "0.30000000000000004"},
      {-0.0, CALCULATOR_SHORTEST_DIGITS, "-0"},
      {100.0, CALCULATOR_SHORTEST_DIGITS, "100"},
      {1e16, CALCULATOR_SHORTEST_DIGITS, "10000000000000000"},
      {1e17, CALCULATOR_SHORTEST_DIGITS, "1e+017"},
      {123456789012.5, CALCULATOR_SHORTEST_DIGITS, "123456789012.5"},
      {0.0001, CALCULATOR_SHORTEST_DIGITS, "0.0001"},
      {0.00001, CALCULATOR_SHORTEST_DIGITS, "1e-005"},
      {5e-324, CALCULATOR_SHORTEST_DIGITS, "5e-324"},
      {DBL_MAX, CALCULATOR_SHORTEST_DIGITS, "1.7976931348623157e+308"},
      {1267650600228229401496703205376.0, CALCULATOR_SHORTEST_DIGITS, "1.2676506002282294e+030"},
      {FromBits(0x7FF0000000000000), CALCULATOR_SHORTEST_DIGITS, "1.#INF"},
      // A power of two: the interval that reads back is twice as wide above.
      {0x1p-1017, CALCULATOR_SHORTEST_DIGITS, "7.120236347223045e-307"},
  };
  for (const auto& test_case : cases) {
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.17g", test_case.value);
    EXPECT_EQ(test_case.text, Format(test_case.value, test_case.digits))
        << "value " << shown << " with " << test_case.digits << " digits";
  }
}

// An independent reading of the rules: the C++ library's exact to_chars
// gives the 17-digit form (or the shortest one), and the N digits, exponent
// and notation follow from it.
std::string Expected(double value, int wanted = CALCULATOR_DEFAULT_DIGITS) {
  const bool negative = std::signbit(value);
  const double magnitude = std::fabs(value);
  std::string sign = negative ? "-" : "";
  if (magnitude == 0.0) {
    return sign + "0";
  }
  char form[40];
  char* end =
      wanted == CALCULATOR_SHORTEST_DIGITS
          ? std::to_chars(form, form + sizeof form, magnitude, std::chars_format::scientific).ptr
          : std::to_chars(form, form + sizeof form, magnitude, std::chars_format::scientific, 16)
                .ptr;
  *end = '\0';
  const char* exponent_text = std::strchr(form, 'e');
  std::string digits = std::string(1, form[0]);
  if (form[1] == '.') {
    digits.append(form + 2, static_cast<std::size_t>(exponent_text - (form + 2)));
  }
  int exponent = std::atoi(exponent_text + 1);
  int fixed_limit = CALCULATOR_MAX_DIGITS;
  if (wanted != CALCULATOR_SHORTEST_DIGITS) {
    fixed_limit = wanted;
    unsigned long long kept = std::strtoull(digits.substr(0, wanted).c_str(), nullptr, 10);
    if (wanted < 17 && digits[static_cast<std::size_t>(wanted)] >= '5') {
      ++kept;
    }
    if (std::to_string(kept).size() > static_cast<std::size_t>(wanted)) {
      kept /= 10;
      ++exponent;
    }
    digits = std::to_string(kept);
  }
  const std::string kept = digits;
  std::string whole;
  std::string fraction;
  std::string tail;
  if (exponent >= -4 && exponent < fixed_limit) {
    if (exponent >= 0) {
      whole = kept.substr(0, static_cast<std::size_t>(exponent) + 1);
      if (whole.size() < static_cast<std::size_t>(exponent) + 1) {
        whole.append(static_cast<std::size_t>(exponent) + 1 - whole.size(), '0');
      }
      fraction = kept.size() > whole.size() ? kept.substr(whole.size()) : "";
    } else {
      whole = "0";
      fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + kept;
    }
  } else {
    whole = kept.substr(0, 1);
    fraction = kept.substr(1);
    char exponent_text[16];
    std::snprintf(exponent_text, sizeof exponent_text, "e%c%03d", exponent < 0 ? '-' : '+',
                  std::abs(exponent));
    tail = exponent_text;
  }
  while (!fraction.empty() && fraction.back() == '0') {
    fraction.pop_back();
  }
  return sign + whole + (fraction.empty() ? "" : "." + fraction) + tail;
}

// At a power of two the doubles below are twice as dense as above, and the
// interval that reads back is lopsided: every one's shortest and 17-digit
// forms, as the rules give them and as read back.
TEST(FormatNumber, PowersOfTwoReadBack) {
  for (int exponent = -1074; exponent <= 1023; ++exponent) {
    const double value = std::ldexp(1.0, exponent);
    for (int digits : {CALCULATOR_SHORTEST_DIGITS, 17}) {
      const std::string actual = Format(value, digits);
      ASSERT_EQ(Expected(value, digits), actual) << "2^" << exponent << " with " << digits;
      ASSERT_EQ(std::strtod(actual.c_str(), nullptr), value) << "2^" << exponent;
    }
  }
}

// Many values of every magnitude, half of them near the rounding points where
// the next digit is 4 or 5 or a carry runs through all digits, with every
// digit count and the shortest form in turn.
TEST(FormatNumber, AgreesWithTheRulesOnManyValues) {
  std::mt19937_64 random(20240601);
  int failures = 0;
  for (int i = 0; i < kRandomValues && failures < 20; ++i) {
    double value;
    switch (i % 4) {
      case 0: {  // any finite bit pattern
        do {
          value = FromBits(random());
        } while (!std::isfinite(value));
        break;
      }
      case 1: {  // a seven-digit decimal ending in 5, near a tie
        const double mantissa = static_cast<double>(1000000 + random() % 9000000 / 10 * 10 + 5);
        const int shift = static_cast<int>(random() % 40) - 20;
        value = mantissa * std::pow(10.0, shift - 6);
        break;
      }
      case 2: {  // just below a power of ten
        const int shift = static_cast<int>(random() % 600) - 300;
        value = std::pow(10.0, shift) * (1.0 - static_cast<double>(random() % 100) * 1e-8);
        break;
      }
      default: {  // a few ulps around a seven-digit decimal
        const double mantissa = static_cast<double>(1000000 + random() % 9000000);
        const int shift = static_cast<int>(random() % 30) - 15;
        value = mantissa * std::pow(10.0, shift - 6);
        for (int step = static_cast<int>(random() % 5); step > 0; --step) {
          value = std::nextafter(value, (random() & 1) ? HUGE_VAL : 0.0);
        }
        break;
      }
    }
    if (random() & 1) {
      value = -value;
    }
    // Six digits half the time; otherwise 1..17 or the shortest in turn.
    const int digits = (i / 4) % 2 == 0 ? CALCULATOR_DEFAULT_DIGITS : (i / 8) % 18;
    const std::string expected = Expected(value, digits);
    const std::string actual = Format(value, digits);
    if (expected != actual) {
      ++failures;
      char shown[64];
      std::snprintf(shown, sizeof shown, "%.17g", value);
      ADD_FAILURE() << "value " << shown << " with " << digits << " digits: expected " << expected
                    << ", got " << actual;
    }
  }
}

}  // namespace
