// The logarithms' pieces, for logarithm.cpp and pow: the argument
// reduction and the double-double evaluation, inline; the fast and slow
// paths apart, so that the benchmarks can count how often the slow one
// runs.
//
// A positive double x = 2^e m, m in [1, 2), falls in a group of the table
// (logarithm_tables.h) by the first bits of m; the group's r, near 1/m,
// makes z = m r - 1 exact in one double, |z| <= 0x1.8p-9, and
//     log x = k log 2 - log(2^a r) + log(1 + z),  k = e + a,
// where the first two terms' high parts add up exactly (table_hi) and
// |log x| >= 0.34 unless k = 0.
#pragma once

#include <cstdint>

#include "calculator/math/binary64.h"
#include "calculator/math/double_double.h"
#include "calculator/math/logarithm_polynomial.h"
#include "calculator/math/logarithm_tables.h"

namespace calculator_core {
namespace math {

struct LogReduction {
  int k;
  double table_hi;  // k log2_hi - log(2^a r)_hi, exact
  double table_lo;  // k log2_lo - log(2^a r)_lo
  double z;
};

// For the bits of a positive normal double, with `offset` added to its
// exponent (-52 for a subnormal one scaled by 2^52).
inline LogReduction ReduceForLog(std::uint64_t bits, int offset) {
  constexpr int kGroupShift = kMantissaBits - 9;        // the fraction's first nine bits
  constexpr std::int64_t kOne = std::int64_t{1} << 61;  // z = (M R - 2^61) 2^-61
  int exponent = static_cast<int>(bits >> kMantissaBits) - kExponentBias + offset;
  std::uint64_t fraction = bits & kFractionMask;
  const logarithm_tables::Entry& entry =
      logarithm_tables::kEntries[((fraction >> kGroupShift) + 1) >> 1];
  auto mantissa = static_cast<std::int64_t>(fraction | (std::uint64_t{1} << kMantissaBits));
  int k = exponent + entry.exponent_adjust;
  double k_double = static_cast<double>(k);
  return {k, k_double * logarithm_tables::kLog2Hi + entry.log_hi,
          k_double * logarithm_tables::kLog2Lo + entry.log_lo,
          static_cast<double>(mantissa * entry.reciprocal - kOne) * 0x1p-61};
}

// log x as hi + lo with z^2/2 exact: absolute error below
// 2^-68.8 |z| + 2^-85 (see logarithm.cpp), so relative error below 2^-68.4,
// and below 2^-75.5 when k != 0.
inline DoubleDouble LogOfReduced(const LogReduction& reduction) {
  using logarithm_polynomial::kQ;
  double z = reduction.z;
  DoubleDouble halves = Split(z);
  double square_hi = -0.5 * (halves.hi * halves.hi);  // exact: 26 bits squared
  double square_lo = -0.5 * (halves.lo * (z + halves.hi));
  double w = z * z;
  double q = (kQ[0] + z * kQ[1]) + w * ((kQ[2] + z * kQ[3]) + w * (kQ[4] + z * kQ[5]));
  double tail = (z * w) * q;
  // |table_hi| >= |z| >= |square_hi| unless table_hi is zero (the table's
  // choice), so both sums are exact.
  DoubleDouble sum = FastTwoSum(reduction.table_hi, z);
  DoubleDouble total = FastTwoSum(sum.hi, square_hi);
  return {total.hi, tail + ((reduction.table_lo + square_lo) + (sum.lo + total.lo))};
}

// True, with the correctly rounded result, when the fast path is sure of
// it; for a positive finite x.
bool LogFastPath(double x, double& result);
bool Log10FastPath(double x, double& result);

// The slow paths, for any positive finite x.
double LogSlowPath(double x);
double Log10SlowPath(double x);

}  // namespace math
}  // namespace calculator_core
