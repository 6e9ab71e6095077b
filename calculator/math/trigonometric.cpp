// Sine, cosine and tangent, correctly rounded (Ziv's strategy).
//
// Fast path: x = k pi/512 + r (argument_reduction.h), |r| <= pi/1024, and
//   sin x = sin(k pi/512) cos r + cos(k pi/512) sin r,
//   tan x = (u + tan r) / (1 - u tan r), u = tan(j pi/512), |j| <= 128
// (or minus its inverse, an odd number of quarter turns on), with table
// values as double-doubles whose high parts have 26 bits, so that their
// products by a half of r.hi are exact, and short polynomials (sollya), in
// double-double arithmetic, with a bound of the error computed alongside.
// When no value within the bound rounds differently, that is the result;
// otherwise (about one argument in ten thousand) the slow path recomputes
// it with 320-bit numbers.
//
// The fast path's errors, with r^2 <= 2^-16.7 and every rounding 2^-53 of
// its result at most, for sin (and cos) = A cos r + B sin r, A and B table
// values up to sign:
//   cos r - 1 from r.hi, z = r.hi^2 rounded, its polynomial and
//   the product by A (with A's rounded sum):            3.5 2^-53 r^2
//   the polynomial of cos (sollya):                     2^-87
//   the sums after it, including the rounding test's:   3 2^-53 r^2 / 2
// in all below 2^-67.3 |A|; and
//   sin r / r - 1 from r.hi and z, its polynomial and
//   the product by B r:                                 7.7 2^-53 r^2 / 6
//   the polynomial of sin:                              2^-76
//   the sums after it:                                  3 2^-53 r^2 / 6
//   the reduction: 2^-91 absolutely (< 2^-83 |A| when A is not zero), or
//   2^-76 |r| when r is the distance to a multiple of pi/2 (A zero)
// in all below 2^-68.73 |B r|; the table's 2^-80 and the double-double
// products' 2^-100 are far below these. For tan:
//   tan r from r.hi and z, its polynomial, r.lo:        2^-68.27 |t|
//   u + t (|t| <= |u + t|, and |u| < 2 |u + t|):        2^-67.95 |u + t|
//   1 - u t (|u t| < 2^-8.3):                           2^-76
//   the division, its remainder's sums and the test:    2^-70.2
// in all below 2^-67.67 of the quotient.

#include "calculator/math/trigonometric.h"

#include <cmath>
#include <cstdint>

#include "calculator/math/argument_reduction.h"
#include "calculator/math/binary64.h"
#include "calculator/math/double_double.h"
#include "calculator/math/elementary.h"
#include "calculator/math/error_bounds.h"
#include "calculator/math/multiprecision.h"
#include "calculator/math/trigonometric_polynomials.h"
#include "calculator/math/trigonometric_tables.h"

namespace calculator_core {
namespace math {

namespace {

// Below these magnitudes the result rounds to x (sin, tan) or to 1 (cos):
// |sin x - x| < |x|^3/6 and |tan x - x| < |x|^3/2.9 stay below half the
// spacing of doubles next to x, and 1 - cos x < x^2/2 below 2^-54.
constexpr std::uint64_t kSineTinyBits = 0x3E50000000000000u;     // 2^-26
constexpr std::uint64_t kTangentTinyBits = 0x3E40000000000000u;  // 2^-27
constexpr std::uint64_t kCosineTinyBits = 0x3E40000000000000u;   // 2^-27

constexpr std::uint32_t kQuarterTurn = 256;  // steps of pi/512

// A NaN comes back (made quiet), an infinity gives the default NaN.
double NotFinite(double x) {
  std::uint64_t bits = BitsOf(x);
  return (bits & kMantissaMask) != 0 ? FromBits(bits | kQuietBit) : DefaultNaN();
}

// ---------------------------------------------------------------------------
// Fast path.

// A double-double with a bound of its error.
struct Approximation {
  DoubleDouble value;
  double error;
};

constexpr std::uint64_t kCodyWaiteLimitBits = 0x40F0000000000000u;  // 2^16
static_assert(kCodyWaiteLimit == 0x1p16, "the same limit in bits");

[[gnu::always_inline]] inline ReducedArgument Reduce(std::uint64_t magnitude_bits, double x) {
  return magnitude_bits < kCodyWaiteLimitBits ? ReduceByCodyWaite(x) : ReduceByPayneHanek(x);
}

// t * r as hi + lo exactly, for t of 26 significant bits (a table's high
// part) and r split by Split (Dekker's product without t's split).
[[gnu::always_inline]] inline DoubleDouble ProductBy26Bits(double t, double r,
                                                           DoubleDouble r_halves) {
  double product = t * r;
  return {product, (t * r_halves.hi - product) + t * r_halves.lo};
}

// sin(steps pi/512 + r).
[[gnu::always_inline]] inline Approximation SineOfReduced(std::uint32_t steps, DoubleDouble r) {
  using namespace trigonometric_polynomials;
  using trigonometric_tables::kSine;
  // With t = (steps mod 256) pi/512, s = sin t and c = cos t = sin(pi/2 - t),
  // the result is A cos r + B sin r with (A, B) = (s, c), (c, -s), (-s, -c)
  // or (-c, s) by the quadrant: entries of kSine, which runs from -pi/2 to
  // pi/2, at signed indices. Chosen by index arithmetic, not by branches:
  // the quadrant is as good as random, and mispredicted branches would cost
  // more than the rest.
  std::uint32_t quadrant = (steps >> 8) & 3u;
  std::uint32_t within = steps & (kQuarterTurn - 1);
  std::uint32_t odd_mask = 0u - (quadrant & 1u);
  std::uint32_t a_index = within ^ ((within ^ (kQuarterTurn - within)) & odd_mask);
  std::uint32_t a_negative = quadrant >> 1;
  std::uint32_t b_negative = (quadrant ^ a_negative) & 1u;
  const trigonometric_tables::TableEntry& a =
      kSine[kQuarterTurn + ((a_index ^ (0u - a_negative)) + a_negative)];
  const trigonometric_tables::TableEntry& b =
      kSine[kQuarterTurn + (((kQuarterTurn - a_index) ^ (0u - b_negative)) + b_negative)];
  double z = r.hi * r.hi;
  double cosine_minus_one = z * (kCosine2 + z * (kCosine4 + z * kCosine6));
  double sine_over_r_minus_one = z * (kSine3 + z * (kSine5 + z * kSine7));
  DoubleDouble b_r = ProductBy26Bits(b.hi, r.hi, Split(r.hi));
  double b_lo_r = b.lo * r.hi;
  // |B r| <= pi/1024 < sin(pi/512) <= |A| unless A is zero, for FastTwoSum.
  DoubleDouble sum = FastTwoSum(a.hi, b_r.hi);
  double corrections = (a.hi + a.lo) * cosine_minus_one + (b_r.hi + b_lo_r) * sine_over_r_minus_one;
  double low_parts = (sum.lo + a.lo) + (b_r.lo + (b.hi * r.lo + b_lo_r));
  double error = SineCosineErrorBound(std::fabs(a.hi), std::fabs(b_r.hi));
  return {{sum.hi, corrections + low_parts}, error};
}

// tan(steps pi/512 + r): with u = tan(j pi/512), j = steps - 256 m and
// |j| <= 128 (the multiple m of pi/2 nearest), and t = tan r, the result is
// (u + t) / (1 - u t) for m even and -(1 - u t) / (u + t) for m odd.
[[gnu::always_inline]] inline Approximation TangentOfReduced(std::uint32_t steps, DoubleDouble r) {
  using namespace trigonometric_polynomials;
  using trigonometric_tables::kTangent;
  std::uint32_t half_turn_steps = steps & (2 * kQuarterTurn - 1);
  std::uint32_t multiple = (half_turn_steps + kQuarterTurn / 2) >> 8;
  // kTangent starts at j = -128.
  const trigonometric_tables::TableEntry& u =
      kTangent[half_turn_steps + kQuarterTurn / 2 - multiple * kQuarterTurn];
  double z = r.hi * r.hi;
  double t_lo = r.lo + r.hi * (z * (kTangent3 + z * (kTangent5 + z * kTangent7)));
  // u t, from the 26-bit high part of u. t_lo is up to 2^-18 of t, so
  // these sums are hi + lo with lo up to 2^-18 of hi.
  DoubleDouble u_t = ProductBy26Bits(u.hi, r.hi, Split(r.hi));
  u_t.lo += u.hi * t_lo + u.lo * (r.hi + t_lo);
  // |t| <= pi/1024 < tan(pi/512) <= |u| unless u is zero, for FastTwoSum.
  DoubleDouble numerator = FastTwoSum(u.hi, r.hi);
  numerator.lo += u.lo + t_lo;
  DoubleDouble denominator = FastTwoSum(1.0, -u_t.hi);
  denominator.lo -= u_t.lo;
  // Chosen by products with 1 and 0 rather than a branch: m is as good as
  // random, and a mispredicted branch would cost more than the rest (nor
  // by indexing a local array, which would bring the stack protector's
  // check). a 1 + b 0 is a exactly for finite a and b (but for a zero's
  // sign, which no result depends on).
  double odd = static_cast<double>(multiple & 1u);
  double even = 1.0 - odd;
  DoubleDouble dividend = {numerator.hi * even - denominator.hi * odd,
                           numerator.lo * even - denominator.lo * odd};
  DoubleDouble divisor = {denominator.hi * even + numerator.hi * odd,
                          denominator.lo * even + numerator.lo * odd};
  double inverse = 1.0 / (divisor.hi + divisor.lo);
  double quotient = Split((dividend.hi + dividend.lo) * inverse).hi;
  DoubleDouble divisor_halves = Split(divisor.hi);
  double remainder =
      (((dividend.hi - quotient * divisor_halves.hi) - quotient * divisor_halves.lo) +
       dividend.lo) -
      quotient * divisor.lo;
  return {{quotient, remainder * inverse}, TangentErrorBound(std::fabs(quotient))};
}

[[gnu::always_inline]] inline bool RoundsSafely(const Approximation& approximation,
                                                double& result) {
  return RoundsSafelyWithin(approximation.value, approximation.error, result);
}

// ---------------------------------------------------------------------------
// Slow path: 320-bit numbers, x = k pi/2 + r with |r| <= pi/4.

// The slow results err by less than 2^-305 (the reduction, the series and
// the quotient together: each operation errs by 2^-318 at most, there are
// fewer than a hundred, and no sum cancels), so their nearest double is
// the correctly rounded result unless the exact one lies within 2^-305 of
// the middle between two doubles; the closest known arguments come within
// 2^-131, and nothing lets a sine, cosine or tangent of a double come
// anywhere near 2^-305 of it.

// sin r (odd) or cos r by Taylor's series, until the terms fall below
// 2^-330 of the result.
Multiprecision SeriesOf(const Multiprecision& r, bool odd) {
  Multiprecision square = r * r;
  Multiprecision term = odd ? r : Multiprecision::FromInteger(1);
  Multiprecision sum = term;
  int last = sum.Exponent() - 330;
  for (std::uint32_t n = odd ? 1 : 0; !term.IsZero() && term.Exponent() > last; n += 2) {
    term = -(term * square).DividedBy((n + 1) * (n + 2));
    sum = sum + term;
  }
  return sum;
}

// sin x (quarter_turns_ahead 0) or cos x = sin(x + pi/2) (1).
Multiprecision SineOrCosineSlowValue(double x, std::uint32_t quarter_turns_ahead) {
  std::uint32_t quarter_turns = 0;
  Multiprecision r = ReduceByQuarterTurns(x, quarter_turns);
  quarter_turns = (quarter_turns + quarter_turns_ahead) & 3u;
  // sin r, cos r, -sin r, -cos r.
  Multiprecision value = SeriesOf(r, (quarter_turns & 1u) == 0);
  return quarter_turns >= 2 ? -value : value;
}

// ---------------------------------------------------------------------------

[[gnu::always_inline]] inline Approximation CosineOfReduced(std::uint32_t steps, DoubleDouble r) {
  return SineOfReduced(steps + kQuarterTurn, r);
}

using ReducedEvaluation = Approximation (*)(std::uint32_t steps, DoubleDouble r);

// The fast path for x neither tiny nor infinite nor NaN.
template <ReducedEvaluation Evaluate>
[[gnu::always_inline]] inline bool TryFastPath(std::uint64_t magnitude_bits, double x,
                                               double& result) {
  ReducedArgument reduced = Reduce(magnitude_bits, x);
  return RoundsSafely(Evaluate(reduced.steps, reduced.r), result);
}

template <ReducedEvaluation Evaluate>
[[gnu::always_inline]] inline bool FastPath(double x, std::uint64_t tiny_bits, double tiny_result,
                                            double& result) {
  std::uint64_t magnitude_bits = BitsOf(x) & ~kSignBit;
  result = tiny_result;
  return magnitude_bits < tiny_bits || TryFastPath<Evaluate>(magnitude_bits, x, result);
}

// The function where Cody-Waite's reduction does not serve, apart: Payne
// and Hanek's returns its result through memory, and a caller that keeps
// one there takes the stack protector's check on every call.
template <ReducedEvaluation Evaluate, double (*SlowPath)(double)>
[[gnu::noinline]] double EvaluatedByPayneHanek(double x) {
  ReducedArgument reduced = ReduceByPayneHanek(x);
  double result;
  return RoundsSafely(Evaluate(reduced.steps, reduced.r), result) ? result : SlowPath(x);
}

template <ReducedEvaluation Evaluate, double (*SlowPath)(double)>
[[gnu::always_inline]] inline double Evaluated(double x, std::uint64_t tiny_bits,
                                               double tiny_result) {
  std::uint64_t magnitude_bits = BitsOf(x) & ~kSignBit;
  if (magnitude_bits < tiny_bits) {
    return tiny_result;
  }
  if (magnitude_bits >= kExponentMask) {
    return NotFinite(x);
  }
  ReducedArgument reduced;
  if (magnitude_bits >= kCodyWaiteLimitBits || !ReducesByCodyWaite(x, reduced)) {
    return EvaluatedByPayneHanek<Evaluate, SlowPath>(x);
  }
  double result;
  return RoundsSafely(Evaluate(reduced.steps, reduced.r), result) ? result : SlowPath(x);
}

}  // namespace

bool SinFastPath(double x, double& result) {
  return FastPath<SineOfReduced>(x, kSineTinyBits, x, result);
}

bool CosFastPath(double x, double& result) {
  return FastPath<CosineOfReduced>(x, kCosineTinyBits, 1.0, result);
}

bool TanFastPath(double x, double& result) {
  return FastPath<TangentOfReduced>(x, kTangentTinyBits, x, result);
}

template <ReducedEvaluation Evaluate>
BoundedApproximation FastApproximation(double x) {
  ReducedArgument reduced = Reduce(BitsOf(x) & ~kSignBit, x);
  Approximation approximation = Evaluate(reduced.steps, reduced.r);
  return {approximation.value, approximation.error, 0};
}

BoundedApproximation SinFastApproximation(double x) {
  return FastApproximation<SineOfReduced>(x);
}

BoundedApproximation CosFastApproximation(double x) {
  return FastApproximation<CosineOfReduced>(x);
}

BoundedApproximation TanFastApproximation(double x) {
  return FastApproximation<TangentOfReduced>(x);
}

Multiprecision SinSlowValue(double x) {
  return SineOrCosineSlowValue(x, 0);
}

Multiprecision CosSlowValue(double x) {
  return SineOrCosineSlowValue(x, 1);
}

Multiprecision TanSlowValue(double x) {
  std::uint32_t quarter_turns = 0;
  Multiprecision r = ReduceByQuarterTurns(x, quarter_turns);
  Multiprecision sine = SeriesOf(r, true);
  Multiprecision cosine = SeriesOf(r, false);
  // tan r, or -cot r an odd number of quarter turns on.
  return (quarter_turns & 1u) == 0 ? sine * cosine.Reciprocal() : -(cosine * sine.Reciprocal());
}

[[gnu::noinline]] double SinSlowPath(double x) {
  return SinSlowValue(x).ToDouble();
}

[[gnu::noinline]] double CosSlowPath(double x) {
  return CosSlowValue(x).ToDouble();
}

[[gnu::noinline]] double TanSlowPath(double x) {
  return TanSlowValue(x).ToDouble();
}

double Sin(double x) {
  return Evaluated<SineOfReduced, SinSlowPath>(x, kSineTinyBits, x);
}

double Cos(double x) {
  return Evaluated<CosineOfReduced, CosSlowPath>(x, kCosineTinyBits, 1.0);
}

double Tan(double x) {
  return Evaluated<TangentOfReduced, TanSlowPath>(x, kTangentTinyBits, x);
}

}  // namespace math
}  // namespace calculator_core
