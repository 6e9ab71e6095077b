// Binary floating-point numbers of 320 bits, for the slow paths of the
// elementary functions: the rare arguments whose double-double result lies
// too close to a rounding boundary to be rounded with certainty.
//
// A value is sign * 0.d1 d2 ... d320 * 2^exponent with d1 = 1 (or zero),
// held in 32-bit limbs so that every product fits a 64-bit integer on every
// target. Each operation computes its result exactly and then cuts it to
// 320 bits toward zero: the relative error of one operation is below
// 2^-318, and a result that fits in 320 bits is exact. Zero has no sign.
#pragma once

#include <cstdint>

namespace calculator_core {
namespace math {

class Multiprecision {
 public:
  static constexpr int kLimbs = 10;
  static constexpr int kBits = 32 * kLimbs;

  // Zero.
  constexpr Multiprecision() = default;
  // The exact value of a finite double.
  static Multiprecision FromDouble(double value);
  // The exact value of magnitude * 2^exponent.
  static Multiprecision FromInteger(std::uint64_t magnitude, int exponent = 0);
  // (limbs[0] limbs[1] ... limbs[count-1]) * 2^(exponent - 32 count), for
  // constants stored as tables of limbs, most significant first; limbs
  // beyond kLimbs are cut off.
  static Multiprecision FromLimbs(const std::uint32_t* limbs, int count, int exponent,
                                  bool negative = false);

  bool IsZero() const { return limbs_[0] == 0; }
  bool IsNegative() const { return negative_; }
  // The value lies in [2^(Exponent()-1), 2^Exponent()) in magnitude.
  int Exponent() const { return exponent_; }

  // The double nearest to the value, ties to even: subnormal when it is
  // that small, zero below half the least subnormal, infinite at or above
  // 2^1024 - 2^970.
  double ToDouble() const;

  Multiprecision operator-() const;
  friend Multiprecision operator+(const Multiprecision& a, const Multiprecision& b);
  friend Multiprecision operator-(const Multiprecision& a, const Multiprecision& b);
  friend Multiprecision operator*(const Multiprecision& a, const Multiprecision& b);
  Multiprecision Times(std::uint32_t factor) const;
  Multiprecision DividedBy(std::uint32_t divisor) const;
  // 1/value for a value other than zero, with a relative error below
  // 2^-316 (not one cut of the exact quotient).
  Multiprecision Reciprocal() const;
  // value * 2^power, exact.
  Multiprecision ScaledBy(int power) const;

  // Whether |a| < |b|.
  friend bool MagnitudeBelow(const Multiprecision& a, const Multiprecision& b);

 private:
  // Sets the value from a magnitude whose limbs are given most significant
  // first, with `exponent` meaning as in the class; normalises and cuts.
  void Assign(const std::uint32_t* limbs, int count, int exponent, bool negative);
  static Multiprecision AddMagnitudes(const Multiprecision& larger, const Multiprecision& smaller,
                                      bool subtract, bool negative);

  std::uint32_t limbs_[kLimbs] = {};
  int exponent_ = 0;
  bool negative_ = false;
};

// Whether every number within 2^error_exponent of `value` rounds to the same
// double as `value` itself: then value.ToDouble() is the correctly rounded
// result of any function whose exact value `value` approximates that well.
bool RoundsSafely(const Multiprecision& value, int error_exponent);

}  // namespace math
}  // namespace calculator_core
