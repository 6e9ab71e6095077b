// The slow paths' arithmetic (multiprecision.h) and the double-double
// transformations, against the hardware's correctly rounded operations and
// against MPFR where a result needs more than two doubles.

#include "calculator/math/multiprecision.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "calculator/math/binary64.h"
#include "calculator/math/double_double.h"
#include "calculator/math/error_bounds.h"
#include "calculator/math/logarithm.h"
#include "calculator/math/logarithm_tables.h"
#include "calculator/math/multiprecision_elementary.h"
#include "calculator/math/power.h"
#include "calculator/math/trigonometric.h"

namespace {

using calculator_core::math::BitsOf;
using calculator_core::math::DoubleDouble;
using calculator_core::math::FromBits;
using calculator_core::math::Multiprecision;
using calculator_core::math::RoundsSafely;
using calculator_core::math::TwoProduct;
using calculator_core::math::TwoSum;

constexpr int kRandomCalls = 20000;

// Doubles whose sums and products land anywhere from the subnormal range
// to overflow.
double RandomScaled(std::mt19937_64& random, int max_exponent) {
  double mantissa = 1.0 + static_cast<double>(random() >> 12) * 0x1p-52;
  int exponent = static_cast<int>(random() % (2 * max_exponent + 1)) - max_exponent;
  exponent = exponent > 1023 ? 1023 : exponent;
  double value = std::ldexp(mantissa, exponent);
  return (random() & 1) != 0 ? -value : value;
}

double ToDouble(const Multiprecision& value) {
  return value.ToDouble();
}

struct RoundingCase {
  const char* what;
  Multiprecision value;
  double expected;
};

TEST(Multiprecision, RoundsToNearestTiesToEven) {
  using M = Multiprecision;
  const M kSticky = M::FromInteger(1, -200);
  const RoundingCase kCases[] = {
      {"2^53 + 1, a tie, to even", M::FromInteger((1ull << 53) + 1), 0x1p53},
      {"2^53 + 3, a tie, to even", M::FromInteger((1ull << 53) + 3), 0x1p53 + 4},
      {"2^53 + 1 and a little more", M::FromInteger((1ull << 53) + 1) + kSticky, 0x1p53 + 2},
      {"2^-1075, a tie, to zero", M::FromInteger(1, -1075), 0.0},
      {"2^-1075 and a little more", M::FromInteger(1, -1075) + M::FromInteger(1, -1300), 0x1p-1074},
      {"3 * 2^-1075, a tie, to 2 * 2^-1074", M::FromInteger(3, -1075), 0x1p-1073},
      {"below half the least subnormal", M::FromInteger(1, -1076), 0.0},
      {"the least normal from below", M::FromInteger((1ull << 53) - 1, -1075), 0x1p-1022},
      {"2^1024 - 2^970 overflows", M::FromInteger((1ull << 54) - 1, 970), INFINITY},
      {"just below the overflow tie",
       M::FromInteger((1ull << 54) - 1, 970) - kSticky.ScaledBy(1100), 0x1.fffffffffffffp+1023},
      {"negative tie", -M::FromInteger((1ull << 53) + 1), -0x1p53},
  };
  for (const RoundingCase& c : kCases) {
    EXPECT_EQ(BitsOf(c.value.ToDouble()), BitsOf(c.expected)) << c.what;
  }
}

// Sums and products of two doubles are exact in 320 bits: rounded once,
// they must be what the hardware gives.
TEST(Multiprecision, ExactSumsAndProductsRoundLikeTheHardware) {
  std::mt19937_64 random(2);
  for (int i = 0; i < kRandomCalls; ++i) {
    double a = RandomScaled(random, 1074);
    double b = RandomScaled(random, 1074);
    double c = RandomScaled(random, 60) * a;
    if (!std::isfinite(c)) {
      continue;
    }
    Multiprecision ma = Multiprecision::FromDouble(a);
    Multiprecision mb = Multiprecision::FromDouble(b);
    Multiprecision mc = Multiprecision::FromDouble(c);
    ASSERT_EQ(BitsOf(ToDouble(ma * mb)), BitsOf(a * b)) << a << " * " << b;
    ASSERT_EQ(BitsOf(ToDouble(ma + mc)), BitsOf(a + c)) << a << " + " << c;
    ASSERT_EQ(BitsOf(ToDouble(ma - mc)), BitsOf(a - c)) << a << " - " << c;
    std::uint32_t small = static_cast<std::uint32_t>(random() % 100000) + 1;
    ASSERT_EQ(BitsOf(ToDouble(ma.Times(small))), BitsOf(a * small)) << a << " * " << small;
    ASSERT_EQ(BitsOf(ToDouble(ma.DividedBy(small))), BitsOf(a / small)) << a << " / " << small;
  }
}

// Products of three doubles (159 bits) plus a double, exact in 320 bits:
// against MPFR's correctly rounded value of the exact result.
TEST(Multiprecision, ExactLongResultsRoundLikeMpfr) {
  std::mt19937_64 random(3);
  mpfr_t exact, term, rounded;
  mpfr_inits2(2000, exact, term, static_cast<mpfr_ptr>(nullptr));
  mpfr_init2(rounded, 53);
  mpfr_set_emin(-1073);
  mpfr_set_emax(1024);
  for (int i = 0; i < kRandomCalls; ++i) {
    double a = RandomScaled(random, 300);
    double b = RandomScaled(random, 300);
    double c = RandomScaled(random, 60);
    double d = RandomScaled(random, 60) * a * b;
    Multiprecision ours = Multiprecision::FromDouble(a) * Multiprecision::FromDouble(b) *
                              Multiprecision::FromDouble(c) +
                          Multiprecision::FromDouble(d);
    mpfr_set_d(exact, a, MPFR_RNDN);
    mpfr_mul_d(exact, exact, b, MPFR_RNDN);
    mpfr_mul_d(exact, exact, c, MPFR_RNDN);
    mpfr_add_d(exact, exact, d, MPFR_RNDN);
    int inexact = mpfr_set(rounded, exact, MPFR_RNDN);
    mpfr_subnormalize(rounded, inexact, MPFR_RNDN);
    ASSERT_EQ(BitsOf(ours.ToDouble()), BitsOf(mpfr_get_d(rounded, MPFR_RNDN)))
        << a << " * " << b << " * " << c << " + " << d;
  }
  mpfr_clears(exact, term, rounded, static_cast<mpfr_ptr>(nullptr));
}

TEST(Multiprecision, ReciprocalsKeepAtLeast316Bits) {
  std::mt19937_64 random(5);
  const Multiprecision one = Multiprecision::FromInteger(1);
  for (int i = 0; i < kRandomCalls; ++i) {
    // A double times a random 320-bit tail, from tiny to huge.
    Multiprecision value = Multiprecision::FromDouble(RandomScaled(random, 1000)) *
                           (one + Multiprecision::FromInteger(random(), -70).DividedBy(7));
    Multiprecision residue = value * value.Reciprocal() - one;
    ASSERT_TRUE(residue.IsZero() || residue.Exponent() <= -315) << value.ToDouble();
  }
  Multiprecision third_difference = Multiprecision::FromInteger(3).Reciprocal() - one.DividedBy(3);
  EXPECT_TRUE(third_difference.IsZero() || third_difference.Exponent() <= -317);
  EXPECT_EQ((-Multiprecision::FromInteger(4)).Reciprocal().ToDouble(), -0.25);
}

TEST(Multiprecision, RoundsSafelyOnlyAwayFromMidpoints) {
  using M = Multiprecision;
  const M midpoint = M::FromInteger((1ull << 53) + 1);  // halfway between two doubles
  EXPECT_FALSE(RoundsSafely(midpoint, -200));
  EXPECT_FALSE(RoundsSafely(midpoint + M::FromInteger(1, -100), -99));
  EXPECT_TRUE(RoundsSafely(midpoint + M::FromInteger(1, -100), -102));
  EXPECT_TRUE(RoundsSafely(M::FromInteger(3), -60));
  EXPECT_FALSE(RoundsSafely(M::FromInteger(3), -40));  // 3 +- 2^-40 are doubles of their own
}

// An MPFR value's first 7 * 53 bits as a Multiprecision: the sum of its
// leading 53-bit pieces, each exact (scaled, so that none is subnormal).
Multiprecision FromMpfr(mpfr_t value) {
  mpfr_t rest, piece;
  mpfr_init2(rest, mpfr_get_prec(value));
  mpfr_init2(piece, 53);
  mpfr_set(rest, value, MPFR_RNDN);
  Multiprecision sum;
  for (int i = 0; i < 7 && !mpfr_zero_p(rest); ++i) {
    long exponent = 0;
    double mantissa = mpfr_get_d_2exp(&exponent, rest, MPFR_RNDN);
    sum = sum + Multiprecision::FromDouble(mantissa).ScaledBy(static_cast<int>(exponent));
    mpfr_set_d(piece, mantissa, MPFR_RNDN);
    mpfr_mul_2si(piece, piece, exponent, MPFR_RNDN);
    mpfr_sub(rest, rest, piece, MPFR_RNDN);
  }
  mpfr_clears(rest, piece, static_cast<mpfr_ptr>(nullptr));
  return sum;
}

// log2 of |ours - exact| / |exact|.
int RelativeErrorExponent(const Multiprecision& ours, const Multiprecision& exact) {
  Multiprecision difference = ours - exact;
  return difference.IsZero() ? -10000 : difference.Exponent() - exact.Exponent();
}

// The slow paths' exp and log keep the precision their comments promise
// (2^-300 and 2^-244 relative), over the whole range pow uses.
TEST(Multiprecision, ExpAndLogKeepTheirPrecision) {
  std::mt19937_64 random(5);
  mpfr_t exact, argument;
  mpfr_inits2(400, exact, argument, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_emin(mpfr_get_emin_min());
  mpfr_set_emax(mpfr_get_emax_max());
  for (int i = 0; i < 200; ++i) {
    // w = a + b with b far below a: an argument of more than 53 bits.
    double a = (static_cast<double>(random() >> 11) * 0x1p-53 - 0.5) * 1500.0;
    double b = a * 0x1p-60 * (static_cast<double>(random() >> 11) * 0x1p-53);
    mpfr_set_d(argument, a, MPFR_RNDN);
    mpfr_add_d(argument, argument, b, MPFR_RNDN);
    mpfr_exp(exact, argument, MPFR_RNDN);
    Multiprecision ours = calculator_core::math::MultiprecisionExp(Multiprecision::FromDouble(a) +
                                                                   Multiprecision::FromDouble(b));
    ASSERT_LE(RelativeErrorExponent(ours, FromMpfr(exact)), -300)
        << "exp(" << a << " + " << b << ")";

    double x = FromBits(random() % 0x7FF0000000000000u);
    if (x == 0.0 || x == 1.0) {
      continue;
    }
    mpfr_set_d(argument, x, MPFR_RNDN);
    mpfr_log(exact, argument, MPFR_RNDN);
    // An approximation within 2^-60, as the fast paths give.
    double approximation = mpfr_get_d(exact, MPFR_RNDN) * (1 + 0x1p-61);
    ours = calculator_core::math::MultiprecisionLog(x, DoubleDouble{approximation, 0.0});
    ASSERT_LE(RelativeErrorExponent(ours, FromMpfr(exact)), -244) << "log(" << x << ")";
  }
  mpfr_clears(exact, argument, static_cast<mpfr_ptr>(nullptr));
}

// Ziv's rounding test on each side of its boundary: hi + lo next to the
// midpoint between 1 and 1 + 2^-52, from below and from above, with an
// error bound that just stops short of it or just reaches past it (1.5
// times the distance, which half the bound on one side would miss).
TEST(DoubleDouble, RoundingTestAtBothSidesOfItsBoundary) {
  using calculator_core::math::RoundsSafelyWithin;
  constexpr double kNext = 1.0 + 0x1p-52;
  const struct {
    const char* what;
    DoubleDouble value;
    double error;
    bool safe;
    double rounded;
  } kRows[] = {
      {"below the midpoint, bound short of it", {1.0, 0x1p-53 - 0x1p-70}, 0x1p-71, true, 1.0},
      {"below the midpoint, bound just past it", {1.0, 0x1p-53 - 0x1p-70}, 0x1.8p-70, false, 0},
      {"above the midpoint, bound short of it", {kNext, -0x1p-53 + 0x1p-70}, 0x1p-71, true, kNext},
      {"above the midpoint, bound just past it", {kNext, -0x1p-53 + 0x1p-70}, 0x1.8p-70, false, 0},
      {"below, hi above the midpoint", {kNext, -0x1p-53 - 0x1p-70}, 0x1.8p-70, false, 0},
      {"above, hi below the midpoint", {1.0, 0x1p-53 + 0x1p-70}, 0x1.8p-70, false, 0},
      {"above, hi below, bound short of it", {1.0, 0x1p-53 + 0x1p-70}, 0x1p-71, true, kNext},
      {"negative, below the midpoint", {-1.0, -0x1p-53 + 0x1p-70}, 0x1.8p-70, false, 0},
      {"negative, below, bound short of it", {-1.0, -0x1p-53 + 0x1p-70}, 0x1p-71, true, -1.0},
  };
  for (const auto& row : kRows) {
    double rounded = 0.0;
    EXPECT_EQ(RoundsSafelyWithin(row.value, row.error, rounded), row.safe) << row.what;
    if (row.safe) {
      EXPECT_EQ(rounded, row.rounded) << row.what;
    }
    // The same through the bound relative to |hi|.
    double relative = row.error / (row.value.hi < 0 ? -row.value.hi : row.value.hi);
    EXPECT_EQ(RoundsSafely(row.value, relative, rounded), row.safe) << row.what << ", relative";
  }
}

// The fast paths' rounding tests as the functions apply them, each fed an
// approximation whose error is `times` its stated bound (error_bounds.h):
// the exact value lies 2^-100 of 1 below (or above) the midpoint between
// 1 and 1 + 2^-52, the approximation above (below) it. Within the bound
// (times 0.9) the test must not decide for the far side, which a bound
// halved where it is applied would; well outside (times 3) it must decide
// for the near side, so that refusing every value cannot pass.
namespace fast_path_rounding {

using RoundingTest = bool (*)(DoubleDouble value, double& rounded);

constexpr double kNext = 1.0 + 0x1p-52;

bool SinTerm(DoubleDouble value, double& rounded) {  // A = 0, |B r| = 1
  return RoundsSafelyWithin(value, calculator_core::math::SineCosineErrorBound(0, 1), rounded);
}
bool CosTerm(DoubleDouble value, double& rounded) {  // |A| = 1, B r = 0
  return RoundsSafelyWithin(value, calculator_core::math::SineCosineErrorBound(1, 0), rounded);
}
bool Tangent(DoubleDouble value, double& rounded) {
  return RoundsSafelyWithin(value, calculator_core::math::TangentErrorBound(1), rounded);
}
// pow at the table's hi 1: y z = 0, and y z = 2^10, where the term per
// |y z| outweighs the rest a thousand times.
constexpr double kLargeProduct = 0x1p10;
bool PowRest(DoubleDouble value, double& rounded) {
  return RoundsSafelyWithin(value, calculator_core::math::PowErrorBound(1.0, 0.0), rounded);
}
bool PowLargeProduct(DoubleDouble value, double& rounded) {
  return RoundsSafelyWithin(
      value, calculator_core::math::PowLargeProductErrorBound(1.0, kLargeProduct), rounded);
}
bool PowProduct(DoubleDouble value, double& rounded) {
  return RoundsSafelyWithin(value, calculator_core::math::PowErrorBound(1.0, -kLargeProduct),
                            rounded);
}

// The test's answer for an exact value just below (from_below) or above
// the midpoint, approximated `times` the bound `bound` away towards and
// across it: 0 undecided, else the double it decided for.
double Decided(RoundingTest test, double bound, bool from_below, double times) {
  double sign = from_below ? 1.0 : -1.0;
  DoubleDouble value = {1.0, sign * (-0x1p-100 + times * bound) + 0x1p-53};
  double rounded = 0.0;
  return test(value, rounded) ? rounded : 0.0;
}

}  // namespace fast_path_rounding

TEST(DoubleDouble, FastPathRoundingTestsHoldTheirStatedBounds) {
  namespace bounds = calculator_core::math::error_bounds;
  using namespace fast_path_rounding;
  const struct {
    const char* what;
    RoundingTest test;
    double bound;  // at 1, absolute or relative alike
  } kRows[] = {
      {"log, far (any k)", calculator_core::math::LogFarRounds, bounds::kLogFar},
      {"log, near (k = 0)", calculator_core::math::LogNearRounds, bounds::kLogNear},
      {"log10, far (any k)", calculator_core::math::Log10FarRounds, bounds::kLog10Far},
      {"log10, near (k = 0)", calculator_core::math::Log10NearRounds, bounds::kLog10Near},
      {"sin and cos, per |A|", CosTerm, bounds::kCosineTerm},
      {"sin and cos, per |B r|", SinTerm, bounds::kSineTerm},
      {"tan", Tangent, bounds::kTangent},
      {"pow, the rest", PowRest, bounds::kPowRest},
      {"pow, per |y z|", PowProduct, bounds::kPowRest + kLargeProduct * bounds::kPowProduct},
      {"pow, per |y z| beyond 16", PowLargeProduct,
       bounds::kPowRest + kLargeProduct * bounds::kPowLargeProduct},
  };
  for (const auto& row : kRows) {
    double below = Decided(row.test, row.bound, true, 0.9);
    EXPECT_TRUE(below == 0.0 || below == 1.0) << row.what << ": from below, " << below;
    double above = Decided(row.test, row.bound, false, 0.9);
    EXPECT_TRUE(above == 0.0 || above == kNext) << row.what << ": from above, " << above;
    EXPECT_EQ(Decided(row.test, row.bound, true, -3.0), 1.0) << row.what << ": far below";
    EXPECT_EQ(Decided(row.test, row.bound, false, -3.0), kNext) << row.what << ": far above";
  }
}

// A fact of the logarithm's table that pow's bound takes as given
// (error_bounds.sollya): where k = 0 and the table's part is not 0, |y
// log_lo| <= 2^-23.04 for |y log x| <= 746, that is |log_lo| <= 2^-32.58
// |log x| over each group (m within 1/1024 of 1 + j/512, x = m 2^-a).
TEST(DoubleDouble, PowBoundHoldsForTheLogarithmTable) {
  using calculator_core::math::logarithm_tables::kEntries;
  int groups = 0;
  for (int j = 0; j < static_cast<int>(std::size(kEntries)); ++j) {
    if (kEntries[j].log_hi == 0.0) {
      continue;
    }
    long double scale = std::ldexp(1.0L, -kEntries[j].exponent_adjust);
    long double low = std::max(1.0L, 1.0L + (j - 0.5L) / 512) * scale;
    long double high = std::min(2.0L, 1.0L + (j + 0.5L) / 512) * scale;
    ASSERT_TRUE(low > 1.0L || high < 1.0L) << "group " << j;
    long double least_log = std::min(std::fabs(std::log(low)), std::fabs(std::log(high)));
    EXPECT_LE(std::fabs(kEntries[j].log_lo), std::exp2(-32.58L) * least_log) << "group " << j;
    ++groups;
  }
  EXPECT_GT(groups, 500);
}

// The same test for (hi + lo) 2^scale where the result leaves the normal
// range: subnormal results rounded on their grid of 2^-1074 (u times hi's
// unit below), to zero, and overflow; each side of a boundary.
TEST(DoubleDouble, ScaledRoundingTestAtTheRangeEnds) {
  using calculator_core::math::RoundsScaledSafely;
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  const struct {
    const char* what;
    DoubleDouble value;
    double error;
    int scale;
    bool safe;
    double rounded;
  } kRows[] = {
      {"below 1.5 2^-1074, bound short", {1.5 - 0x1p-40, 0.0}, 0x1p-42, -1074, true, 0x1p-1074},
      {"below 1.5 2^-1074, bound past", {1.5 - 0x1p-40, 0.0}, 0x1.8p-40, -1074, false, 0},
      {"above 1.5 2^-1074, bound short", {1.5 + 0x1p-40, 0.0}, 0x1p-42, -1074, true, 0x1p-1073},
      {"above 1.5 2^-1074, bound past", {1.5 + 0x1p-40, 0.0}, 0x1.8p-40, -1074, false, 0},
      {"just above 2^-1075", {1.0 + 0x1p-40, 0.0}, 0x1p-42, -1075, true, 0x1p-1074},
      {"2^-1075 itself, a tie", {1.0, 0.0}, 0x1p-70, -1075, false, 0},
      {"below 2^-1075, to zero", {1.5, 0.0}, 0x1p-70, -1076, true, 0.0},
      {"below the least normal, up", {1.0 - 0x1p-53, 0x1p-60}, 0x1p-62, -1022, true, 0x1p-1022},
      {"below the least normal, down",
       {1.0 - 0x1p-53, -0x1p-60},
       0x1p-62,
       -1022,
       true,
       0x0.fffffffffffffp-1022},
      {"the least normal's lower tie", {1.0 - 0x1p-53, 0.0}, 0x1p-70, -1022, false, 0},
      {"the largest double",
       {0x1.fffffffffffffp0, 0.0},
       0x1p-70,
       1023,
       true,
       0x1.fffffffffffffp1023},
      {"overflow", {1.0, 0.0}, 0x1p-70, 1024, true, kInfinity},
  };
  for (const auto& row : kRows) {
    double rounded = -1.0;
    EXPECT_EQ(RoundsScaledSafely(row.value, row.error, row.scale, rounded), row.safe) << row.what;
    if (row.safe) {
      EXPECT_EQ(BitsOf(rounded), BitsOf(row.rounded)) << row.what;
    }
  }
}

// pow's slow path before its rounding, within 2^-236 of x^y (or exact)
// on our own hard cases (every third) and random arguments up to the range
// limits, so that a lost bit of its logarithm or exponential fails.
TEST(Multiprecision, PowKeepsItsPrecision) {
  std::vector<std::pair<double, double>> arguments;
  std::FILE* file = std::fopen(CALCULATOR_HARD_CASE_DIR "/pow_own.txt", "r");
  ASSERT_NE(file, nullptr);
  char line[256];
  for (int i = 0; std::fgets(line, sizeof line, file) != nullptr; ++i) {
    double x = 0.0;
    double y = 0.0;
    if (line[0] != '#' && i % 3 == 0 && std::sscanf(line, "%la,%la", &x, &y) == 2) {
      arguments.emplace_back(x, y);
    }
  }
  std::fclose(file);
  std::mt19937_64 random(6);
  for (int i = 0; i < 3000; ++i) {
    double x = 0.5 + 3.5 * (static_cast<double>(random() >> 11) * 0x1p-53);
    double y = (static_cast<double>(random() >> 11) * 0x1p-53 - 0.5) * 1000.0;
    arguments.emplace_back(x, y);
  }
  mpfr_t exact, base, exponent;
  mpfr_inits2(600, exact, base, exponent, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_emin(mpfr_get_emin_min());
  mpfr_set_emax(mpfr_get_emax_max());
  int measured = 0;
  for (const auto& [x, y] : arguments) {
    if (!(x > 0.0) || x == 1.0 || y == 0.0 || std::fabs(y * std::log(x)) >= 745.0) {
      continue;
    }
    ++measured;
    mpfr_set_d(base, x, MPFR_RNDN);
    mpfr_set_d(exponent, y, MPFR_RNDN);
    mpfr_pow(exact, base, exponent, MPFR_RNDN);
    Multiprecision ours = calculator_core::math::PowSlowValue(x, y);
    ASSERT_LE(RelativeErrorExponent(ours, FromMpfr(exact)), -236)
        << std::hexfloat << "pow(" << x << ", " << y << ")";
  }
  EXPECT_GT(measured, 4000);
  mpfr_clears(exact, base, exponent, static_cast<mpfr_ptr>(nullptr));
}

// The error-free transformations: the two parts add up exactly.
TEST(DoubleDouble, TransformationsAreExact) {
  std::mt19937_64 random(4);
  for (int i = 0; i < kRandomCalls; ++i) {
    double a = RandomScaled(random, 400);
    double b = RandomScaled(random, 400);
    auto product = TwoProduct(a, b);
    auto exact_product = Multiprecision::FromDouble(a) * Multiprecision::FromDouble(b);
    ASSERT_TRUE((Multiprecision::FromDouble(product.hi) + Multiprecision::FromDouble(product.lo) -
                 exact_product)
                    .IsZero())
        << a << " * " << b;
    double c = RandomScaled(random, 60) * a;
    auto sum = TwoSum(a, c);
    ASSERT_TRUE((Multiprecision::FromDouble(sum.hi) + Multiprecision::FromDouble(sum.lo) -
                 Multiprecision::FromDouble(a) - Multiprecision::FromDouble(c))
                    .IsZero())
        << a << " + " << c;
  }
}

}  // namespace
