// The elementary functions the evaluator calls (math/elementary.h), on
// every platform the unit tests run on, the Windows build under wine among
// them: correctly rounded values at arguments where a library goes wrong
// (x87 code reduces by a 66-bit pi, its pow loses bits near overflow, a
// log10 by log(x)/log(10) is off in the last bit), and the special values.
// The comparison with MPFR over many arguments is tests/math's.

#include "calculator/math/elementary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "calculator/math/binary64.h"

namespace {

using namespace calculator_core::math;

using calculator_core::math::BitsOf;

constexpr double kInfinity = __builtin_inf();
constexpr std::uint64_t kDefaultNaN = 0xFFF8000000000000u;

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
    {"tan(7^74.434423)", Tan, 0x1.f353f2d85df8cp+208, 0x1.5c1a3dd8832f8p-4},
    {"sin(largest double)", Sin, 0x1.fffffffffffffp+1023, 0x1.452fc98b34e97p-8},
    {"cos(the double nearest an odd multiple of pi/2)", Cos, 0x1.6ac5b262ca1ffp+849,
     -0x1.14ae72e6ba22fp-61},
    {"tan(the double nearest an odd multiple of pi/2)", Tan, 0x1.6ac5b262ca1ffp+849,
     -0x1.d9ba9a7975636p+60},
    {"sin(-0)", Sin, -0.0, -0.0},
    {"tan(-0)", Tan, -0.0, -0.0},
    {"cos(-0)", Cos, -0.0, 1.0},
    {"sin(-least subnormal)", Sin, -0x1p-1074, -0x1p-1074},
    {"tan(least subnormal)", Tan, 0x1p-1074, 0x1p-1074},
    {"log(2)", Log, 2.0, 0.6931471805599453},
    {"log(1e-300)", Log, 1e-300, -690.7755278982137},
    {"log(1)", Log, 1.0, 0.0},
    {"log(0)", Log, 0.0, -kInfinity},
    {"log(-0)", Log, -0.0, -kInfinity},
    {"log(inf)", Log, kInfinity, kInfinity},
    {"log(least subnormal)", Log, 0x1p-1074, -744.4400719213812},
    {"log(largest double)", Log, 0x1.fffffffffffffp1023, 709.782712893384},
    {"log(1 + 2^-52)", Log, 0x1.0000000000001p0, 0x1.fffffffffffffp-53},
    {"log10(1000)", Log10, 1000.0, 3.0},
    {"log10(1e22)", Log10, 1e22, 22.0},
    {"log10(7)", Log10, 7.0, 0.8450980400142568},
    {"log10(least subnormal)", Log10, 0x1p-1074, -323.3062153431158},
};

TEST(Elementary, CorrectlyRoundedValues) {
  for (const Case& c : kCases) {
    EXPECT_EQ(BitsOf(c.function(c.argument)), BitsOf(c.expected)) << c.call;
  }
}

struct PowerCase {
  double base;
  double exponent;
  double expected;
};

TEST(Elementary, PowerIsCorrectlyRoundedAndExact) {
  const PowerCase kPowers[] = {
      {10.0, 308.0, 1e308},
      {2.0, 0.5, 1.4142135623730951},
      {1.0000001, 7e9, 1.0141969717459648e304},
      {7.0, 74.434423, 0x1.f353f2d85df8cp+208},  // the argument of tan(7^74.434423)
      {9.0, 0.5, 3.0},
      {2.0, 10.0, 1024.0},
      {2.0, -1074.0, 0x1p-1074},
      {2.0, -1075.0, 0.0},                  // halfway to the least subnormal: to even
      {208065.0, 3.0, 9007351116674624.0},  // halfway between two doubles: to even
      {-2.0, 3.0, -8.0},
      {-0.0, -3.0, -kInfinity},
      {-0.0, -2.0, kInfinity},
      {0.5, -kInfinity, kInfinity},
      {-1.0, kInfinity, 1.0},
      {2.0, 1024.0, kInfinity},
  };
  for (const PowerCase& c : kPowers) {
    EXPECT_EQ(BitsOf(Pow(c.base, c.exponent)), BitsOf(c.expected)) << c.base << " ^ " << c.exponent;
  }
}

TEST(Elementary, InvalidArgumentsGiveTheDefaultNaN) {
  EXPECT_EQ(BitsOf(Pow(-8.0, 1.0 / 3.0)), kDefaultNaN);
  EXPECT_EQ(BitsOf(Log(-1.0)), kDefaultNaN);
  EXPECT_EQ(BitsOf(Log10(-1e-300)), kDefaultNaN);
  EXPECT_EQ(BitsOf(Sin(kInfinity)), kDefaultNaN);
  EXPECT_EQ(BitsOf(Cos(-kInfinity)), kDefaultNaN);
  EXPECT_EQ(BitsOf(Tan(kInfinity)), kDefaultNaN);
}

TEST(Elementary, NaNArgumentsComeBackQuiet) {
  const double nan = __builtin_nan("");
  EXPECT_EQ(BitsOf(Log(-nan)), BitsOf(-nan));
  EXPECT_EQ(BitsOf(Sin(-nan)), BitsOf(-nan));
  EXPECT_EQ(BitsOf(Cos(nan)), BitsOf(nan));
  EXPECT_EQ(BitsOf(Tan(nan)), BitsOf(nan));
  EXPECT_EQ(BitsOf(Pow(nan, 0.0)), BitsOf(1.0));
  EXPECT_EQ(BitsOf(Pow(1.0, nan)), BitsOf(1.0));
  EXPECT_EQ(BitsOf(Pow(2.0, -nan)), BitsOf(-nan));
}

}  // namespace
