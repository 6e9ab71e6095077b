// Natural and common logarithms, correctly rounded.
//
// Fast path (Tang's table-driven method; reduction in logarithm.h):
// log x = k log 2 - log(2^a r) + log(1 + z), log(1 + z) by a polynomial
// (logarithm_polynomial.h); log10 multiplies by 1/log 10 in double-double.
// u = 2^-53 is the unit roundoff, |z| <= Z = 2^-9.463 (so z^2 <= 2^-18.93),
// and the tables' low part (k log2_lo + log_lo, two roundings, with
// log2_lo's and log_lo's own) is within 2^-85.4 of its value for every k
// of a double, and below 2^-33.98. Two evaluations, tried in turn:
//
// Far, for every x (LogFar): hi + e = table_hi + z by Fast2Sum, exact
// since table_hi is 0 or of z's binade or a higher one (|table_hi| >= 0.34
// > |z| where k != 0; the table's choice where k = 0); lo = e + (p +
// table_lo), p = z^2 (-1/2 + z QFar(z)) in plain doubles, |e| <= 2^-53
// |hi| <= 2^-43.4 (|log x| < 745). Absolute errors:
//   polynomial (QFar, degree 3)                                 2^-72.03
//   p: z^2's and the product's roundings, and -1/2 + ...'s evaluation
//     (two roundings of half an ulp at 1/2: 2^-51.99 relative), of
//     |p| <= 2^-19.92                                           2^-70.92
//   the tables                                                  2^-85.4
//   the two additions of lo, 2^-53 of |p + table_lo| + |e| < 2^-19.9
//     each                                                      2^-73 each
//   the rounding test's own rounding of lo +- the bound          2^-72.8
// in all below 1.19 * 2^-70 (error_bounds.sollya sums the terms). That
// decides all but about one argument in 2,500 of [0.7, 1.42], where
// |log x| is small and its spacing with it, and far fewer elsewhere.
//
// Near, where the far one fails and k = 0, x in [0.7075, 1.415) (apart, in
// LogBeyondFar: dearer, and rarely needed; LogOfReduced): z^2/2 exact
// through a split of z. Errors, relative to R = log x, with |z| <= 1.0025
// |R| (the table's choice of r) and |R| >= 2^-11 where the table's part is
// not 0:
//   polynomial (Q, degree 4)            2^-73.11 |log(1 + z)|, per |z|
//   z^3 Q(z): 3 roundings and Q's own (2^-52.41) of
//     |z^3 Q| <= 2^-20.51 |z|                                   2^-71.34 |z|
//   the low parts' last addition                                2^-73.51 |z|
//   the other additions, the rest of z^2/2, the table           2^-83 |R|
//   the rounding test's own rounding of lo                      2^-73.51 |z|
// in all below 0.72 * 2^-70 |R| (error_bounds.sollya).
// (The same sum taken absolutely, for any k, gives LogOfReduced's bound in
// logarithm.h, 2^-70.74 |z| + 2^-84.4.)
//
// log10: (hi + lo) (c_hi + c_lo), c = 1/log 10 = 0.4343, hi c_hi exact by
// Dekker's product (hi split by bits), the rest rounded: the log's error
// times c, three roundings of a low part (2^-74.2 absolute, or 2^-73.5 |R|
// relative, each), lo c_lo left out (2^-76.6), and the test's own rounding:
// below 0.82 * 2^-70 absolute and 1.08 * 2^-70 relative
// (error_bounds.sollya).
//
// About one argument in 150,000 near 1 and far fewer elsewhere fail both
// tests; the slow path computes log x to 2^-244 (multiprecision_
// elementary.h), where the published worst cases of log and log10 need
// 2^-118.

#include "calculator/math/logarithm.h"

#include "calculator/math/elementary.h"
#include "calculator/math/error_bounds.h"
#include "calculator/math/multiprecision_elementary.h"

namespace calculator_core {
namespace math {

namespace {

static_assert(logarithm_tables::kLargestReduced <= logarithm_polynomial::kDomain,
              "the polynomial covers every reduced argument");

// log x as hi + lo for any k, absolute error below kLogFar.
inline DoubleDouble LogFar(const LogReduction& reduction) {
  using logarithm_polynomial::kQFar;
  double z = reduction.z;
  double w = z * z;
  double p = w * ((-0.5 + z * kQFar[0]) + w * ((kQFar[1] + z * kQFar[2]) + w * kQFar[3]));
  DoubleDouble sum = FastTwoSum(reduction.table_hi, z);
  return {sum.hi, sum.lo + (p + reduction.table_lo)};
}

inline DoubleDouble TimesInverseLn10(DoubleDouble value) {
  constexpr DoubleDouble kHalves = Split(logarithm_tables::kInverseLn10Hi);
  double product_hi = value.hi * logarithm_tables::kInverseLn10Hi;
  DoubleDouble product = TwoProduct(kHalves, SplitByBits(value.hi), product_hi);
  double lo = product.lo + (value.hi * logarithm_tables::kInverseLn10Lo +
                            value.lo * logarithm_tables::kInverseLn10Hi);
  return {product.hi, lo};
}

// The two evaluations' tests (above), in turn.
inline bool TryLogFar(const LogReduction& reduction, double& result) {
  return LogFarRounds(LogFar(reduction), result);
}
inline bool TryLog10Far(const LogReduction& reduction, double& result) {
  return Log10FarRounds(TimesInverseLn10(LogFar(reduction)), result);
}
inline bool TryLogNear(const LogReduction& reduction, double& result) {
  return reduction.k == 0 && LogNearRounds(LogOfReduced(reduction), result);
}
inline bool TryLog10Near(const LogReduction& reduction, double& result) {
  return reduction.k == 0 && Log10NearRounds(TimesInverseLn10(LogOfReduced(reduction)), result);
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

double Magnitude(double value) {
  return value < 0 ? -value : value;
}

// By the biased exponent, which the reduction takes too.
inline bool IsPositiveNormal(std::uint64_t bits) {
  return static_cast<std::uint32_t>(bits >> kMantissaBits) - 1 < 0x7FE;
}

// The approximation that the slow path refines.
DoubleDouble Approximation(double x) {
  return LogOfReduced(ReduceAny(x));
}

}  // namespace

BoundedApproximation LogFarApproximation(double x) {
  return {LogFar(ReduceAny(x)), error_bounds::kLogFar, 0};
}

BoundedApproximation Log10FarApproximation(double x) {
  return {TimesInverseLn10(LogFar(ReduceAny(x))), error_bounds::kLog10Far, 0};
}

bool LogNearApproximation(double x, BoundedApproximation& approximation) {
  LogReduction reduction = ReduceAny(x);
  DoubleDouble log = LogOfReduced(reduction);
  approximation = {log, Magnitude(log.hi) * error_bounds::kLogNear, 0};
  return reduction.k == 0;
}

bool Log10NearApproximation(double x, BoundedApproximation& approximation) {
  LogReduction reduction = ReduceAny(x);
  DoubleDouble log10 = TimesInverseLn10(LogOfReduced(reduction));
  approximation = {log10, Magnitude(log10.hi) * error_bounds::kLog10Near, 0};
  return reduction.k == 0;
}

bool LogFastPath(double x, double& result) {
  LogReduction reduction = ReduceAny(x);
  return TryLogFar(reduction, result) || TryLogNear(reduction, result);
}

bool Log10FastPath(double x, double& result) {
  LogReduction reduction = ReduceAny(x);
  return TryLog10Far(reduction, result) || TryLog10Near(reduction, result);
}

double LogSlowPath(double x) {
  return MultiprecisionLog(x, Approximation(x)).ToDouble();
}

double Log10SlowPath(double x) {
  return (MultiprecisionLog(x, Approximation(x)) * InverseLn10()).ToDouble();
}

namespace {

// Log and Log10 for a positive normal x that LogFar did not decide, apart
// so that the fast path keeps no stack frame (nor the stack protector's
// check).
[[gnu::noinline]] double LogBeyondFar(double x) {
  double result;
  return TryLogNear(ReduceForLog(BitsOf(x), 0), result) ? result : LogSlowPath(x);
}

[[gnu::noinline]] double Log10BeyondFar(double x) {
  double result;
  return TryLog10Near(ReduceForLog(BitsOf(x), 0), result) ? result : Log10SlowPath(x);
}

}  // namespace

double Log(double x) {
  std::uint64_t bits = BitsOf(x);
  if (!IsPositiveNormal(bits)) {
    return LogOfSpecial(x, false);
  }
  double result;
  return TryLogFar(ReduceForLog(bits, 0), result) ? result : LogBeyondFar(x);
}

double Log10(double x) {
  std::uint64_t bits = BitsOf(x);
  if (!IsPositiveNormal(bits)) {
    return LogOfSpecial(x, true);
  }
  double result;
  return TryLog10Far(ReduceForLog(bits, 0), result) ? result : Log10BeyondFar(x);
}

}  // namespace math
}  // namespace calculator_core
