// Natural and common logarithms, correctly rounded.
//
// Fast path (Tang's table-driven method; reduction in logarithm.h):
// log x = k log 2 - log(2^a r) + log(1 + z), log(1 + z) by a polynomial
// (logarithm_polynomial.h); log10 multiplies by 1/log 10 in double-double.
// Two evaluations, by k:
//
// k != 0, |log x| >= 0.34: z - z^2/2 + z^3 Q(z) with z^2 (-1/2 + z Q(z))
// in plain doubles beside the exact table_hi + z. Absolute errors:
//   polynomial (QFar, degree 4)                               2^-74.3
//   z^2 (-1/2 + ...): 3 roundings of |p| <= 2^-17.8             2^-69.2
//   the low parts' two additions, 2^-53 of 2^-17.7 each       2^-69.7
//   the tables and log 2's low part                           2^-85.5
//   the rounding test's own rounding of lo                    2^-70.6
// in all below 2^-67.7: the test allows 2^-67.5 (2^-66 relative at worst).
//
// k = 0, x in [0.7, 1.42): LogOfReduced, z^2/2 exact through Veltkamp's
// split. Errors, with |z| <= 1.0141 |log x| (the table's choice of r):
//   polynomial (Q, degree 5)                   2^-73.9 |log(1+z)| <= 2^-73.8 |R|
//   z^3 Q(z): 3 roundings and Q's own (2^-52.3) of |z^3 Q| <= 2^-18.4 |z|:
//                                                                 2^-69.2 |z|
//   the low parts' last addition (the others are tiny)            2^-71.3 |z|
//   the tables, the rest of z^2/2                                  2^-84 |R|
//   the rounding test's own rounding of lo                        2^-71.2 |z|
// in all below 2^-68.4 |R|: the test allows 1.5 * 2^-68.
// log10 scales these by 1/log 10 (below 2^-68.9 and 2^-68.5 |R|) and adds
// two roundings of a low part, 2^-72 absolute or 2^-71 relative each: the
// tests allow 2^-68 absolute and 1.5 * 2^-68 relative.
//
// About one argument in 10,000 near 1 and far fewer elsewhere fail the
// test; the slow path computes log x to 2^-244 (multiprecision_
// elementary.h), where the published worst cases of log and log10 need
// 2^-118.

#include "calculator/math/logarithm.h"

#include "calculator/math/elementary.h"
#include "calculator/math/multiprecision_elementary.h"

namespace calculator_core {
namespace math {

namespace {

static_assert(logarithm_tables::kLargestReduced <= logarithm_polynomial::kDomain,
              "the polynomial covers every reduced argument");

constexpr double kNearError = 0x1.8p-68;             // relative
constexpr double kFarError = 0x1.6a09e667f3bcdp-68;  // absolute, 2^-67.5
constexpr double kFar10Error = 0x1p-68;              // absolute

// log x for k != 0 as hi + lo, absolute error below 2^-67.7.
inline DoubleDouble LogFar(const LogReduction& reduction) {
  using logarithm_polynomial::kQFar;
  double z = reduction.z;
  double w = z * z;
  double p =
      w * ((-0.5 + z * kQFar[0]) + w * ((kQFar[1] + z * kQFar[2]) + w * (kQFar[3] + z * kQFar[4])));
  DoubleDouble sum = FastTwoSum(reduction.table_hi, z);
  return {sum.hi, sum.lo + (p + reduction.table_lo)};
}

inline DoubleDouble TimesInverseLn10(DoubleDouble value) {
  DoubleDouble product = TwoProduct(value.hi, logarithm_tables::kInverseLn10Hi);
  double lo = product.lo + (value.hi * logarithm_tables::kInverseLn10Lo +
                            value.lo * logarithm_tables::kInverseLn10Hi);
  return {product.hi, lo};
}

inline bool TryLog(const LogReduction& reduction, double& result) {
  if (reduction.k != 0) {
    return RoundsSafelyWithin(LogFar(reduction), kFarError, result);
  }
  return RoundsSafely(LogOfReduced(reduction), kNearError, result);
}

inline bool TryLog10(const LogReduction& reduction, double& result) {
  if (reduction.k != 0) {
    return RoundsSafelyWithin(TimesInverseLn10(LogFar(reduction)), kFar10Error, result);
  }
  return RoundsSafely(TimesInverseLn10(LogOfReduced(reduction)), kNearError, result);
}

inline LogReduction ReduceAny(double x) {
  std::uint64_t bits = BitsOf(x);
  if (bits < kSmallestNormalBits) {
    return ReduceForLog(BitsOf(x * 0x1p52), -kMantissaBits);
  }
  return ReduceForLog(bits, 0);
}

// Zero, negative, subnormal, infinite and NaN arguments.
[[gnu::noinline]] double LogOfSpecial(double x, bool common) {
  std::uint64_t bits = BitsOf(x);
  if ((bits & ~kSignBit) > kInfinityBits) {
    return FromBits(bits | kQuietBit);  // NaN
  }
  if ((bits & ~kSignBit) == 0) {
    return -FromBits(kInfinityBits);
  }
  if ((bits & kSignBit) != 0) {
    return DefaultNaN();
  }
  if (bits == kInfinityBits) {
    return x;
  }
  double result;
  if (common) {
    return Log10FastPath(x, result) ? result : Log10SlowPath(x);
  }
  return LogFastPath(x, result) ? result : LogSlowPath(x);
}

inline bool IsPositiveNormal(std::uint64_t bits) {
  return bits - kSmallestNormalBits < kInfinityBits - kSmallestNormalBits;
}

// The approximation that the slow path refines.
DoubleDouble Approximation(double x) {
  return LogOfReduced(ReduceAny(x));
}

}  // namespace

bool LogFastPath(double x, double& result) {
  return TryLog(ReduceAny(x), result);
}

bool Log10FastPath(double x, double& result) {
  return TryLog10(ReduceAny(x), result);
}

double LogSlowPath(double x) {
  return MultiprecisionLog(x, Approximation(x)).ToDouble();
}

double Log10SlowPath(double x) {
  return (MultiprecisionLog(x, Approximation(x)) * InverseLn10()).ToDouble();
}

double Log(double x) {
  std::uint64_t bits = BitsOf(x);
  if (!IsPositiveNormal(bits)) {
    return LogOfSpecial(x, false);
  }
  double result;
  return TryLog(ReduceForLog(bits, 0), result) ? result : LogSlowPath(x);
}

double Log10(double x) {
  std::uint64_t bits = BitsOf(x);
  if (!IsPositiveNormal(bits)) {
    return LogOfSpecial(x, true);
  }
  double result;
  return TryLog10(ReduceForLog(bits, 0), result) ? result : Log10SlowPath(x);
}

}  // namespace math
}  // namespace calculator_core
