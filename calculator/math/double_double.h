// Double-double arithmetic: a value carried as the unevaluated sum hi + lo
// of two doubles, with |lo| at most half an ulp of hi, for about 106 bits.
//
// The error-free transformations (Dekker, Knuth; see the Handbook of
// Floating-Point Arithmetic, ch. 4) use only rounded + - * on doubles: no
// fused multiply-add, so that every target computes the same bits. They
// hold as long as nothing overflows; a product's low part is exact unless
// it falls below the subnormal range.
#pragma once

#include <cstdint>

#include "calculator/math/binary64.h"

namespace calculator_core {
namespace math {

struct DoubleDouble {
  double hi;
  double lo;
};

// a + b exactly, when |a| >= |b| or a is zero (Fast2Sum: 3 operations).
inline constexpr DoubleDouble FastTwoSum(double a, double b) {
  double sum = a + b;
  double b_virtual = sum - a;
  return {sum, b - b_virtual};
}

// a + b exactly, for any order of magnitude (2Sum: 6 operations).
inline DoubleDouble TwoSum(double a, double b) {
  double sum = a + b;
  double a_virtual = sum - b;
  double b_virtual = sum - a_virtual;
  return {sum, (a - a_virtual) + (b - b_virtual)};
}

// a as hi + lo where hi has at most 26 significant bits and lo at most 26
// (Veltkamp's splitting); |a| below 2^995 so that the scaled copy stays
// finite.
inline constexpr DoubleDouble Split(double a) {
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  double scaled = a * kSplitter;
  double hi = scaled - (scaled - a);
  return {hi, a - hi};
}

// a as hi + lo, hi the first 26 bits of a and lo the rest (27 bits at
// most, of a's sign), by clearing bits: exact for every finite a. The bits
// are cleared in the floating-point register (andpd on x86-64): a trip
// through an integer register costs a few cycles on the way to Dekker's
// product.
inline DoubleDouble SplitByBits(double a) {
  using Bits = std::uint64_t __attribute__((vector_size(16)));
  using Doubles = double __attribute__((vector_size(16)));
  constexpr std::uint64_t kHead = ~((std::uint64_t{1} << 27) - 1);
  Doubles value = {a, 0.0};
  Doubles head = reinterpret_cast<Doubles>(reinterpret_cast<Bits>(value) & Bits{kHead, 0});
  return {head[0], a - head[0]};
}

// a * b exactly as hi + lo, from the halves of the operands (Dekker's
// product): a's by Split, b's by Split or SplitByBits. With b's by bits
// every partial product still fits in 53 bits, and in this order so does
// every partial sum: for a, b in [1, 2), after a.hi b.lo the sum is the
// product's rounding error less a.lo b, below 2^-52 + 2^-26 |b| < 2^-24.9
// on a grid of 2^-77 (a.hi's unit times b.lo's), and after a.lo b.hi it is
// below 2^-50.
inline DoubleDouble TwoProduct(DoubleDouble a_halves, DoubleDouble b_halves, double product) {
  double error = ((a_halves.hi * b_halves.hi - product) + a_halves.hi * b_halves.lo +
                  a_halves.lo * b_halves.hi) +
                 a_halves.lo * b_halves.lo;
  return {product, error};
}
inline DoubleDouble TwoProduct(double a, double b) {
  return TwoProduct(Split(a), Split(b), a * b);
}
inline DoubleDouble TwoSquare(double a) {
  DoubleDouble halves = Split(a);
  double square = a * a;
  double error =
      ((halves.hi * halves.hi - square) + 2.0 * halves.hi * halves.lo) + halves.lo * halves.lo;
  return {square, error};
}

// The sum of two double-doubles, with a relative error of a few 2^-106
// unless they cancel (then a few 2^-106 of the larger operand).
inline DoubleDouble Add(DoubleDouble a, DoubleDouble b) {
  DoubleDouble high = TwoSum(a.hi, b.hi);
  DoubleDouble low = TwoSum(a.lo, b.lo);
  high = FastTwoSum(high.hi, high.lo + low.hi);
  return FastTwoSum(high.hi, high.lo + low.lo);
}
inline DoubleDouble Add(DoubleDouble a, double b) {
  DoubleDouble high = TwoSum(a.hi, b);
  return FastTwoSum(high.hi, high.lo + a.lo);
}

// The product of two double-doubles, relative error below 2^-102.
inline DoubleDouble Multiply(DoubleDouble a, DoubleDouble b) {
  DoubleDouble product = TwoProduct(a.hi, b.hi);
  double cross = a.hi * b.lo + a.lo * b.hi;
  return FastTwoSum(product.hi, product.lo + cross);
}
inline DoubleDouble Multiply(DoubleDouble a, double b) {
  DoubleDouble product = TwoProduct(a.hi, b);
  return FastTwoSum(product.hi, product.lo + a.lo * b);
}

// A fast path's result before its rounding test: (hi + lo) 2^scale, within
// error 2^scale of the exact value; for the tests that measure the error
// against the bound.
struct BoundedApproximation {
  DoubleDouble value;
  double error;
  int scale;
};

// Ziv's rounding test with an absolute bound: when the exact value lies
// within `error` of hi + lo, and both ends of that interval round to the
// same double, that double is the correctly rounded value: true, and
// `rounded` is it. The bound must also cover 2^-53 (|lo| + error), the
// rounding of lo +- the error.
inline bool RoundsSafelyWithin(DoubleDouble value, double error, double& rounded) {
  double up = value.hi + (value.lo + error);
  double down = value.hi + (value.lo - error);
  rounded = up;
  return up == down;
}

// The same with a bound relative to |hi|.
inline bool RoundsSafely(DoubleDouble value, double relative_error, double& rounded) {
  return RoundsSafelyWithin(value, (value.hi < 0 ? -value.hi : value.hi) * relative_error, rounded);
}

// Ziv's rounding test for a result (hi + lo) 2^scale with hi + lo near
// [1, 2) (within 2^-0.01), as pow's fast path has it: the scales between
// which that is normal for every such hi + lo.
constexpr int kLeastNormalScale = -1022;
constexpr int kGreatestNormalScale = 1023;

// The result (hi + lo) 2^scale below 2^-1021, with hi + lo within `error`
// of the exact value: it is rounded to a multiple of 2^-1074, that is hi +
// lo to a multiple of u = 2^(-1074 - scale), which is what adding the
// shifter C = 2^(-1022 - scale) does (ties to even as the result's last
// bit), as long as hi + lo <= C: true for every scale below -1022 (C >= 2)
// and for a rounded result below 1 at -1022. shifted - C is exact
// (Sterbenz), and the three roundings of the low part, each at most 2^-53
// of something below 1.5 u, are taken into the bound.
[[gnu::noinline]] inline bool RoundsSubnormalSafely(DoubleDouble value, double error, int scale,
                                                    double& result) {
  value = FastTwoSum(value.hi, value.lo);
  double shifter = PowerOfTwo(-1022 - scale);
  double shifted = shifter + value.hi;
  double lo = (value.hi - (shifted - shifter)) + value.lo;
  double bound = error + 0x1p-50 * shifter * 0x1p-52;
  double up = shifted + (lo + bound);
  double down = shifted + (lo - bound);
  if (up != down) {
    return false;
  }
  // A multiple of 2^-1074 below 2^-1021, exact in both steps.
  result = ((up - shifter) * PowerOfTwo(scale + 100)) * 0x1p-100;
  return true;
}

// A rounding test's result and whether it is sure of it, returned in
// registers: a caller that inlines the common case takes no local's
// address for the rare one.
struct RoundedResult {
  double value;
  bool sure;
};

// The same at the ends of the range: scale 1024, where the result may
// overflow, and -1022 and below, where it may be subnormal.
[[gnu::noinline]] inline RoundedResult RoundsAtRangeEnds(DoubleDouble value, double error,
                                                         int scale) {
  RoundedResult result{0.0, false};
  double rounded;
  if (scale >= kLeastNormalScale) {
    if (!RoundsSafelyWithin(value, error, rounded)) {
      return result;
    }
    if (scale > kLeastNormalScale || rounded >= 1.0) {
      // 2^scale in two factors: an overflow is the right result then.
      return {(rounded * PowerOfTwo(scale - (scale >> 1))) * PowerOfTwo(scale >> 1), true};
    }
  }
  result.sure = RoundsSubnormalSafely(value, error, scale, result.value);
  return result;
}

// The result (hi + lo) 2^scale, hi + lo within `error` of the exact value
// and within 2^-10 of [1, 2), for scale from -1076 to 1024: true with it
// when it rounds one way only. Where the rounded hi + lo times 2^scale is
// normal, that is it; below, the result is rounded on the subnormals' grid
// instead.
[[gnu::always_inline]] inline bool RoundsScaledSafely(DoubleDouble value, double error, int scale,
                                                      double& result) {
  if (static_cast<unsigned>(scale - kLeastNormalScale - 1) <
      static_cast<unsigned>(kGreatestNormalScale - kLeastNormalScale)) {
    double rounded;
    if (!RoundsSafelyWithin(value, error, rounded)) {
      return false;
    }
    result = rounded * PowerOfTwo(scale);
    return true;
  }
  RoundedResult ends = RoundsAtRangeEnds(value, error, scale);
  result = ends.value;
  return ends.sure;
}

}  // namespace math
}  // namespace calculator_core
