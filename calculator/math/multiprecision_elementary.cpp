// Exp and Log at 320 bits.
//
// MultiprecisionExp: w = k log 2 + r with |r| <= log(2)/2, e^r = (e^(r/2^12))^(2^12), and
// e^s for |s| <= 2^-13 by its Taylor series to s^19 (the next term is below
// 2^-330). Every operation has a relative error below 2^-318; the series'
// twenty of them stay below 2^-313, the twelve squarings double the error
// each (2^-301), and k log 2 adds k 2^-320 <= 2^-309 to r: in all less than
// 2^-300.
//
// MultiprecisionLog: with y0 the approximation, log x = y0 + log(1 + d)
// where d = x e^-y0 - 1 is as small as the approximation's error
// (|d| < 2^-50), so the series of log(1 + d) to d^6 leaves less than 2^-350. The error of
// e^-y0 (2^-300 relative) is what remains: below 2^-299 in d, so below
// 2^-298 in the logarithm; |log x| >= 2^-54 for every double x != 1.

#include "calculator/math/multiprecision_elementary.h"

#include "calculator/math/logarithm_tables.h"

namespace calculator_core {
namespace math {

namespace {

constexpr int kSquarings = 12;
constexpr int kExpTerms = 19;
constexpr int kLogTerms = 6;
constexpr int kConstantLimbs = 12;

}  // namespace

Multiprecision Log2() {
  return Multiprecision::FromLimbs(logarithm_tables::kLog2Limbs, kConstantLimbs,
                                   logarithm_tables::kLog2Exponent);
}

Multiprecision InverseLn10() {
  return Multiprecision::FromLimbs(logarithm_tables::kInverseLn10Limbs, kConstantLimbs,
                                   logarithm_tables::kInverseLn10Exponent);
}

Multiprecision MultiprecisionExp(const Multiprecision& w) {
  constexpr double kInverseLog2 = 0x1.71547652b82fep0;
  double estimate = w.ToDouble() * kInverseLog2;
  int k = static_cast<int>(estimate < 0 ? estimate - 0.5 : estimate + 0.5);
  Multiprecision multiple = Log2().Times(static_cast<std::uint32_t>(k < 0 ? -k : k));
  Multiprecision r = k < 0 ? w + multiple : w - multiple;
  Multiprecision s = r.ScaledBy(-kSquarings);
  Multiprecision one = Multiprecision::FromInteger(1);
  Multiprecision term = one;
  Multiprecision sum = one;
  for (std::uint32_t n = 1; n <= kExpTerms; ++n) {
    term = (term * s).DividedBy(n);
    sum = sum + term;
  }
  for (int i = 0; i < kSquarings; ++i) {
    sum = sum * sum;
  }
  return sum.ScaledBy(k);
}

Multiprecision MultiprecisionLog(double x, DoubleDouble approximation) {
  Multiprecision y0 =
      Multiprecision::FromDouble(approximation.hi) + Multiprecision::FromDouble(approximation.lo);
  Multiprecision d =
      Multiprecision::FromDouble(x) * MultiprecisionExp(-y0) - Multiprecision::FromInteger(1);
  // log(1 + d) = d - d^2/2 + d^3/3 - ..., by Horner's rule from the last term.
  Multiprecision series;
  for (int n = kLogTerms; n >= 1; --n) {
    Multiprecision coefficient =
        Multiprecision::FromInteger(1).DividedBy(static_cast<std::uint32_t>(n));
    series = (n % 2 == 1 ? coefficient : -coefficient) + series * d;
  }
  return y0 + series * d;
}

}  // namespace math
}  // namespace calculator_core
