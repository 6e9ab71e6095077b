// The logarithms' pieces, for logarithm.cpp and pow: the argument
// reduction and the double-double evaluation, inline; the fast and slow
// paths apart, so that the benchmarks can count how often the slow one
// runs.
//
// A positive double x = 2^e m, m in [1, 2), falls in a group of the table
// (logarithm_tables.h), the one of 1 + j/512 nearest to m; its r, near 1/m,
// makes z = m r - 1 = (M R - 2^63) 2^-63 exact in one double (M = m 2^52,
// R = 2048 r), |z| <= kLargestReduced < 2^-9.46, and
//     log x = k log 2 - log(2^a r) + log(1 + z),  k = e + a,
// where the first two terms' high parts add up exactly (table_hi, a
// multiple of 2^-42 below 2^10 in magnitude), |log x| >= 0.346 unless
// k = 0, and |z| <= 1.0025 |log x| where k = 0.
#pragma once

#include <cstdint>

#include "calculator/math/binary64.h"
#include "calculator/math/double_double.h"
#include "calculator/math/error_bounds.h"
#include "calculator/math/logarithm_polynomial.h"
#include "calculator/math/logarithm_tables.h"

namespace calculator_core {
namespace math {

struct LogReduction {
  int k;
  double table_hi;       // k log2_hi - log(2^a r)_hi, exact
  double table_lo;       // k log2_lo - log(2^a r)_lo
  double z;              // m r - 1, exact
  std::int64_t z_units;  // z 2^63
};

// For the bits of a positive normal double, with `offset` added to its
// exponent (-52 for a subnormal one scaled by 2^52).
inline LogReduction ReduceForLog(std::uint64_t bits, int offset) {
  constexpr int kGroupShift = kMantissaBits - 9;  // 1 + j/512 nearest to m
  constexpr std::uint64_t kOne = std::uint64_t{1} << 63;
  int exponent = static_cast<int>(bits >> kMantissaBits) - kExponentBias + offset;
  std::uint64_t fraction = bits & kMantissaMask;
  const logarithm_tables::Entry& entry =
      logarithm_tables::kEntries[(fraction + (std::uint64_t{1} << (kGroupShift - 1))) >>
                                 kGroupShift];
  std::uint64_t mantissa = fraction | (std::uint64_t{1} << kMantissaBits);
  int k = exponent + entry.exponent_adjust;
  double k_double = static_cast<double>(k);
  // M R - 2^63 modulo 2^64, as a signed integer: the product is within
  // 2^-9.4 of 2^63.
  auto z_units =
      static_cast<std::int64_t>((mantissa * static_cast<std::uint64_t>(entry.reciprocal)) ^ kOne);
  return {k, k_double * logarithm_tables::kLog2Hi + entry.log_hi,
          k_double * logarithm_tables::kLog2Lo + entry.log_lo,
          static_cast<double>(z_units) * 0x1p-63, z_units};
}

// z as hi + lo, hi the multiple of 2^-35 nearest to z (26 bits at most, its
// square exact), |lo| <= min(|z|, 2^-36): both exact.
inline DoubleDouble SplitReduced(const LogReduction& reduction) {
  constexpr std::int64_t kHalfUnit = std::int64_t{1} << 27;
  double hi = static_cast<double>((reduction.z_units + kHalfUnit) & -(2 * kHalfUnit)) * 0x1p-63;
  return {hi, reduction.z - hi};
}

// log x as hi + lo with z^2/2 exact: relative error below 0.689 * 2^-70
// where k = 0, absolute error below 2^-70.74 |z| + 2^-84.41 (logarithm.cpp).
inline DoubleDouble LogOfReduced(const LogReduction& reduction) {
  using logarithm_polynomial::kQ;
  double z = reduction.z;
  DoubleDouble halves = SplitReduced(reduction);
  double square_hi = (-0.5 * halves.hi) * halves.hi;  // exact: 26 bits squared
  double square_lo = (-0.5 * halves.lo) * (z + halves.hi);
  double w = z * z;
  double q = (kQ[0] + z * kQ[1]) + w * ((kQ[2] + z * kQ[3]) + w * kQ[4]);
  double tail = (z * w) * q;
  // |table_hi + z| >= |square_hi| and table_hi is zero or of z's binade or
  // a higher one (the table's choice), so both sums are exact.
  DoubleDouble sum = FastTwoSum(reduction.table_hi, z);
  DoubleDouble total = FastTwoSum(sum.hi, square_hi);
  return {total.hi, tail + ((reduction.table_lo + square_lo) + (sum.lo + total.lo))};
}

// The fast path's rounding tests, each with the bound that logarithm.cpp
// derives (error_bounds.sollya): the only place the code applies them, so
// that the tests that feed them values just inside the bound test what the
// functions do. Far: any k, absolute; near: k = 0, relative to |hi|.
inline bool LogFarRounds(DoubleDouble value, double& result) {
  return RoundsSafelyWithin(value, error_bounds::kLogFar, result);
}
inline bool LogNearRounds(DoubleDouble value, double& result) {
  return RoundsSafely(value, error_bounds::kLogNear, result);
}
inline bool Log10FarRounds(DoubleDouble value, double& result) {
  return RoundsSafelyWithin(value, error_bounds::kLog10Far, result);
}
inline bool Log10NearRounds(DoubleDouble value, double& result) {
  return RoundsSafely(value, error_bounds::kLog10Near, result);
}

// True, with the correctly rounded result, when the fast path is sure of
// it; for a positive finite x.
bool LogFastPath(double x, double& result);
bool Log10FastPath(double x, double& result);

// The fast paths' double-doubles and error bounds: the far evaluation's,
// tried first, for any positive finite x; the near one's, tried next, true
// where it applies (k = 0).
BoundedApproximation LogFarApproximation(double x);
BoundedApproximation Log10FarApproximation(double x);
bool LogNearApproximation(double x, BoundedApproximation& approximation);
bool Log10NearApproximation(double x, BoundedApproximation& approximation);

// The slow paths, for any positive finite x.
double LogSlowPath(double x);
double Log10SlowPath(double x);

}  // namespace math
}  // namespace calculator_core
