// Reduction of a trigonometric argument: x = k pi/512 + r with k an integer
// and |r| <= pi/1024 (a little more for Cody-Waite's rounded quotient), so
// that sin x = sin(k pi/512) cos r + cos(k pi/512) sin r with both
// factors of the table (trigonometric_tables.h).
//
// Small arguments take Cody and Waite's reduction: pi/512 in three parts,
// the first two short enough that their products by k are exact. Large
// ones, and the few small ones that fall so close to a multiple of pi/2
// that those parts would leave too few correct bits of r, take Payne and
// Hanek's: x times the bits of 2/pi that matter, in integer arithmetic, so
// that every finite double is reduced alike (Muller, "Elementary Functions",
// ch. 11).
#pragma once

#include <cstdint>

#include "calculator/math/binary64.h"
#include "calculator/math/double_double.h"
#include "calculator/math/multiprecision.h"
#include "calculator/math/trigonometric_tables.h"

namespace calculator_core {
namespace math {

struct ReducedArgument {
  std::uint32_t steps;  // k mod 1024: the multiple of pi/512 within a turn
  DoubleDouble r;       // |r.lo| <= ulp(r.hi) / 2
};

// For every finite x. The error of r is below 2^-100 |r| + 2^-160: next to
// a multiple of pi/2, where the result depends on r alone, that is 2^-100
// |r| whatever the cancellation (the closest a double comes to one is
// 2^-60.89, from 0x1.6ac5b262ca1ffp+849).
ReducedArgument ReduceByPayneHanek(double x);

// Cody-Waite's reduction holds for |x| below this.
constexpr double kCodyWaiteLimit = 0x1p16;

// For |x| < kCodyWaiteLimit: true with x's reduction, except next to a
// multiple of pi/2 where Cody-Waite's would leave too few correct bits of
// r (then Payne and Hanek's is needed). The error of r is below 2^-91
// absolutely, or 2^-76 |r| where r is the whole distance to a multiple of
// pi/2 (then the result, not only its derivative, depends on r alone).
[[gnu::always_inline]] inline bool ReducesByCodyWaite(double x, ReducedArgument& reduced) {
  using namespace trigonometric_tables;
  // Rounds to the nearest integer by adding 1.5 * 2^52: |x * 512/pi| is far
  // below 2^51.
  constexpr double kRoundingShift = 0x1.8p52;
  double shifted = x * kInverseStep + kRoundingShift;
  double k = shifted - kRoundingShift;
  // Exact: k kStep1 and k kStep2 have at most 53 bits (|k| < 2^24); the
  // first lies within a factor 2 of x (Sterbenz), and the difference less
  // the second is a multiple of 2^-61 below 2^-8 (k = 0 unless |x| > 2^-9).
  double difference = (x - k * kStep1) - k * kStep2;
  // The low part errs by up to 2^-92 when |difference| < |k kStep3|.
  DoubleDouble r = FastTwoSum(difference, -(k * kStep3));
  auto steps = static_cast<std::uint32_t>(BitsOf(shifted)) & 1023u;
  reduced = {steps, r};
  // Next to a multiple of pi/2 (steps a multiple of 256) a tiny r is
  // itself the result, and 2^-91 would be too much of it.
  constexpr double kShortestReliable = 0x1p-15;
  return (steps & 255u) != 0 || k == 0.0 || r.hi >= kShortestReliable || r.hi <= -kShortestReliable;
}

// For |x| < kCodyWaiteLimit, with the error of r as above.
[[gnu::always_inline]] inline ReducedArgument ReduceByCodyWaite(double x) {
  ReducedArgument reduced;
  return ReducesByCodyWaite(x, reduced) ? reduced : ReduceByPayneHanek(x);
}

// The argument reduced by pi/2 for the slow path: x = k pi/2 + r with
// |r| <= pi/4 and k mod 4 in `quarter_turns`, r with a relative error below
// 2^-300.
Multiprecision ReduceByQuarterTurns(double x, std::uint32_t& quarter_turns);

}  // namespace math
}  // namespace calculator_core
