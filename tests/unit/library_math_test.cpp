// The elementary functions the evaluator calls, against correctly rounded
// values at arguments where an inaccurate library goes wrong (x87 code
// reduces by a 66-bit pi, and its pow loses bits near overflow).

#include "calculator/library_math.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

using namespace calculator_core::library_math;

struct Case {
  const char* call;
  double (*function)(double);
  double argument;
  double expected;
};

const Case kCases[] = {
    {"sin(pi)", Sin, 3.141592653589793, 1.2246467991473532e-16},
    {"sin(1e22)", Sin, 1e22, -0.8522008497671888},
    {"cos(1e22)", Cos, 1e22, 0.523214785395139},
    {"cos(pi/2)", Cos, 1.5707963267948966, 6.123233995736766e-17},
    {"tan(1e10)", Tan, 1e10, -0.5583496378112418},
    {"log(2)", Log, 2.0, 0.6931471805599453},
    {"log(1e-300)", Log, 1e-300, -690.7755278982137},
    {"log10(1000)", Log10, 1000.0, 3.0},
};

TEST(LibraryMath, ElementaryFunctionsAreAccurate) {
  for (const Case& c : kCases) {
    EXPECT_EQ(c.function(c.argument), c.expected) << c.call;
  }
}

TEST(LibraryMath, PowerIsAccurateNearOverflow) {
  EXPECT_EQ(Pow(10.0, 308.0), 1e308);
  EXPECT_EQ(Pow(2.0, 0.5), 1.4142135623730951);
  EXPECT_EQ(Pow(1.0000001, 7e9), 1.0141969717459648e304);
}

std::uint64_t BitsOf(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(LibraryMath, InvalidPowerIsTheDefaultNaN) {
  EXPECT_EQ(BitsOf(Pow(-8.0, 1.0 / 3.0)), 0xFFF8000000000000u);
}

}  // namespace
