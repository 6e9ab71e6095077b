// x^y, correctly rounded, with the C standard's special cases.
//
// Fast path, for positive x and |y log x| <= 708 (a normal result):
// x^y = e^t, t = y log x, with log x in double-double (logarithm.h), t by
// Dekker's product, and e^t = 2^(k/128) e^r (exponential_tables.h,
// exponential_polynomial.h). Errors, relative to the result:
//   e^r's polynomial                                         2^-75.9
//   r^2 P(r): 3 roundings and P's own, of |p| <= 2^-18          2^-69.4
//   r rounded to one double inside the polynomial            2^-70
//   r_b + p and the table value times it                     2^-70.7 each
//   the two additions of the low parts, and the rounding
//   test's own rounding of the low part                      2^-70.6 each
//   the rest (r_b, r_lo, the table's low part)               below 2^-72.9
// so e^r's part is below 2^-67.4. t's absolute error is the result's
// relative error: the logarithm's absolute error, 2^-68.8 |z| + 2^-85
// (logarithm.h; 2^-96 where k = 0), times y, and the product's 2^-104 |t|.
// As |log x| >= 0.34 where k != 0, and >= 2^-9 where k = 0 unless the
// table's part is zero, that is below 2^-68.8 |y z| + 2^-83 |t|. The
// rounding test allows 1.5625 * 2^-68 + 2^-68.8 |y z| + 2^-83 |t|.
//
// Where the test fails the result may be exactly a double or halfway
// between two (no finite precision decides those): x^y is checked for
// being exact first, by exact arithmetic (integer y, y = n/2^k with x a
// perfect 2^k-th power, x a power of 2). Otherwise e^(y log x) in 320-bit
// arithmetic (multiprecision_elementary.h), about 2^-236; the published
// worst cases of pow need 2^-206.

#include "calculator/math/power.h"

#include <cstdint>

#include "calculator/math/binary64.h"
#include "calculator/math/double_double.h"
#include "calculator/math/elementary.h"
#include "calculator/math/exponential_polynomial.h"
#include "calculator/math/exponential_tables.h"
#include "calculator/math/logarithm.h"
#include "calculator/math/multiprecision_elementary.h"

namespace calculator_core {
namespace math {

namespace {

static_assert(exponential_polynomial::kDomain > 0x1.62e42fefa39efp-9 + 0x1p-24,
              "the polynomial covers log(2)/256 and the low part of r");

constexpr double kInfinity = __builtin_inf();

constexpr double kExpError = 0x1.9p-68;    // 2^-67.36
constexpr double kLogError = 0x1.2p-69;    // per unit of |y z|, 2^-68.8
constexpr double kProductError = 0x1p-83;  // per unit of |t|
// |t| up to which the result is a normal double: e^-708 > 2^-1022.
constexpr double kFastLimit = 708.0;
// Beyond these, x^y overflows or is below half the least subnormal.
constexpr double kOverflowLimit = 710.0;    // e^709.79 is the largest double
constexpr double kUnderflowLimit = -746.0;  // e^-745.14 is 2^-1075

double Magnitude(double value) {
  return FromBits(BitsOf(value) & ~kSignBit);
}

bool IsPositiveNormal(std::uint64_t bits) {
  return bits - kSmallestNormalBits < kInfinityBits - kSmallestNormalBits;
}

// Neither zero nor infinite nor NaN.
bool IsFiniteNonzero(std::uint64_t bits) {
  return (bits & ~kSignBit) - 1 < kInfinityBits - 1;
}

LogReduction ReduceAnyPositive(double x) {
  std::uint64_t bits = BitsOf(x);
  if (bits < kSmallestNormalBits) {
    return ReduceForLog(BitsOf(x * 0x1p52), -kMantissaBits);
  }
  return ReduceForLog(bits, 0);
}

// log x, normalised.
inline DoubleDouble LogOf(const LogReduction& reduction) {
  DoubleDouble log = LogOfReduced(reduction);
  return FastTwoSum(log.hi, log.lo);
}

// The fast path for positive finite x and finite nonzero y: true with the
// result when it is sure of it.
[[gnu::always_inline]] inline bool TryPowFast(const LogReduction& reduction, double y,
                                              double& result) {
  using exponential_polynomial::kP;
  using exponential_tables::kStepHi;
  using exponential_tables::kStepLo;
  DoubleDouble log = LogOf(reduction);
  double estimate = y * log.hi;
  if (!(Magnitude(estimate) <= kFastLimit)) {
    return false;
  }
  DoubleDouble t = TwoProduct(y, log.hi);
  t.lo += y * log.lo;

  // t = k log(2)/128 + r_hi + r_lo; k log(2)/128's high part is exact, and
  // so is r_hi (Sterbenz).
  constexpr double kShifter = 0x1.8p52;
  double k = (t.hi * exponential_tables::kScale + kShifter) - kShifter;
  auto k_integer = static_cast<std::int32_t>(k);
  double r_hi = t.hi - k * kStepHi;
  double r_lo = t.lo - k * kStepLo;
  double r = r_hi + r_lo;
  double r2 = r * r;
  double p = r2 * ((kP[0] + r * kP[1]) + r2 * ((kP[2] + r * kP[3]) + r2 * kP[4]));

  // 2^(j/128) (1 + r + p) = T_hi + T_hi r_a + (T_hi (r_b + p) + T_lo (1 + r + p))
  // with r = r_a + r_b, r_a of 12 bits (a multiple of 2^-20), so that T_hi
  // r_a (41 bits times 12) is exact, and |r_b| < 2^-20.
  constexpr double kRounder = 0x1.8p32;  // to a multiple of 2^-20
  double r_a = (r_hi + kRounder) - kRounder;
  double r_b = (r_hi - r_a) + r_lo;
  std::int32_t j = k_integer & 127;
  const exponential_tables::Entry& entry = exponential_tables::kEntries[j];
  DoubleDouble sum = FastTwoSum(entry.hi, entry.hi * r_a);
  double lo = sum.lo + (entry.hi * (r_b + p) + entry.lo * (1.0 + (r + p)));

  double error =
      kExpError + kLogError * Magnitude(y * reduction.z) + kProductError * Magnitude(t.hi);
  double rounded;
  if (!RoundsSafely({sum.hi, lo}, error, rounded)) {
    return false;
  }
  result = rounded * PowerOfTwo((k_integer - j) / 128);
  return true;
}

// ---------------------------------------------------------------------------
// Exact results.

// x = odd * 2^exponent for a positive finite x.
struct OddAndExponent {
  std::uint64_t odd;
  int exponent;
};
OddAndExponent Decompose(double x) {
  std::uint64_t bits = BitsOf(x);
  int biased = static_cast<int>(bits >> kMantissaBits);
  std::uint64_t mantissa = bits & kFractionMask;
  int exponent = 1 - kExponentBias - kMantissaBits;
  if (biased != 0) {
    mantissa |= kSmallestNormalBits;
    exponent = biased - kExponentBias - kMantissaBits;
  }
  int zeros = __builtin_ctzll(mantissa);
  return {mantissa >> zeros, exponent + zeros};
}

int BitLength(std::uint64_t value) {
  return 64 - __builtin_clzll(value);
}

// y = odd * 2^-fraction_bits; 0 fraction bits for an integer.
int FractionBits(double y) {
  if (y == 0.0) {
    return 0;
  }
  OddAndExponent parts = Decompose(Magnitude(y));
  return parts.exponent < 0 ? -parts.exponent : 0;
}

// base^n exactly, for n >= 1 and n * BitLength(base) within 320 bits.
Multiprecision ExactPower(std::uint64_t base, std::uint32_t n) {
  Multiprecision square = Multiprecision::FromInteger(base);
  Multiprecision result = Multiprecision::FromInteger(1);
  for (; n != 0; n >>= 1) {
    if ((n & 1) != 0) {
      result = result * square;
    }
    if (n > 1) {
      square = square * square;
    }
  }
  return result;
}

// x^y when it is exactly a double, halfway between two or otherwise short
// enough for 320 bits, for positive finite x and finite nonzero y with
// |y log x| below 750: true with the exact value.
bool TryExactPower(double x, double y, Multiprecision& exact) {
  constexpr int kExactBits = Multiprecision::kBits - 2;
  OddAndExponent base = Decompose(x);
  if (base.odd == 1) {
    // 2^(e y): exact when e y is an integer (then at most a few thousand).
    DoubleDouble product = TwoProduct(static_cast<double>(base.exponent), y);
    if (product.lo != 0.0 || FractionBits(product.hi) != 0) {
      return false;
    }
    exact = Multiprecision::FromInteger(1, static_cast<int>(product.hi));
    return true;
  }
  // y = n / 2^k: x must be a perfect 2^k-th power, which needs k <= 5 for
  // an odd part of at most 53 bits above 1.
  int k = FractionBits(y);
  constexpr int kMaxRootDepth = 5;
  if (k > kMaxRootDepth) {
    return false;
  }
  double root = x;
  for (int i = 0; i < k; ++i) {
    double next = __builtin_sqrt(root);
    DoubleDouble square = TwoSquare(next);
    if (square.hi != root || square.lo != 0.0) {
      return false;
    }
    root = next;
  }
  double n = y * static_cast<double>(1 << k);  // exact: y = n / 2^k
  // A negative power of an odd part above 1 is no dyadic number; a large
  // positive one is too long to be halfway between two doubles.
  OddAndExponent parts = Decompose(root);
  if (n < 1.0 || n * BitLength(parts.odd) > kExactBits) {
    return false;
  }
  auto count = static_cast<std::uint32_t>(n);
  exact = ExactPower(parts.odd, count).ScaledBy(parts.exponent * static_cast<int>(count));
  return true;
}

// x^y in 320-bit arithmetic, for positive finite x and finite nonzero y
// with |y log x| below 750.
double PowByMultiprecision(double x, double y) {
  Multiprecision exact;
  if (TryExactPower(x, y, exact)) {
    return exact.ToDouble();
  }
  DoubleDouble log = LogOf(ReduceAnyPositive(x));
  Multiprecision t = MultiprecisionLog(x, log) * Multiprecision::FromDouble(y);
  // Not being exact, a result closer than 2^-236 to a rounding boundary
  // would be far beyond every case known; it is rounded all the same.
  return MultiprecisionExp(t).ToDouble();
}

// x^y for positive finite x and finite nonzero y, when the fast path has
// not decided it.
double PowPositiveRest(double x, double y) {
  if (x == 1.0) {
    return 1.0;  // for every y, however large
  }
  double estimate = y * LogOf(ReduceAnyPositive(x)).hi;
  if (estimate > kOverflowLimit) {
    return kInfinity;
  }
  if (estimate < kUnderflowLimit) {
    return 0.0;
  }
  return PowByMultiprecision(x, y);
}

// Whether a finite y is an odd integer; y not an integer is `fractional`.
bool IsOddInteger(double y, bool& fractional) {
  OddAndExponent parts = Decompose(Magnitude(y));
  fractional = parts.exponent < 0;
  return parts.exponent == 0;
}

[[gnu::noinline]] double PowOfSpecial(double x, double y) {
  std::uint64_t x_bits = BitsOf(x);
  std::uint64_t y_bits = BitsOf(y);
  if (y == 0.0 || x == 1.0) {
    return 1.0;
  }
  if ((x_bits & ~kSignBit) > kInfinityBits) {
    return FromBits(x_bits | kQuietBit);
  }
  if ((y_bits & ~kSignBit) > kInfinityBits) {
    return FromBits(y_bits | kQuietBit);
  }
  double magnitude = Magnitude(x);
  if ((y_bits & ~kSignBit) == kInfinityBits) {
    if (magnitude == 1.0) {
      return 1.0;
    }
    return (magnitude < 1.0) == (y < 0.0) ? kInfinity : 0.0;
  }
  bool fractional = false;
  bool odd = IsOddInteger(y, fractional);
  bool negative = (x_bits & kSignBit) != 0;
  double sign = negative && odd ? -1.0 : 1.0;
  if (magnitude == 0.0) {
    return sign * (y < 0.0 ? kInfinity : 0.0);
  }
  if (magnitude == kInfinity) {
    return sign * (y < 0.0 ? 0.0 : kInfinity);
  }
  if (negative && fractional) {
    return DefaultNaN();
  }
  double result;
  if (!TryPowFast(ReduceAnyPositive(magnitude), y, result)) {
    result = PowPositiveRest(magnitude, y);
  }
  return sign * result;
}

}  // namespace

bool PowFastPath(double x, double y, double& result) {
  return TryPowFast(ReduceAnyPositive(x), y, result);
}

double PowSlowPath(double x, double y) {
  return PowPositiveRest(x, y);
}

double Pow(double x, double y) {
  // The square is the one rounded product, for every x.
  if (y == 2.0) {
    return x * x;
  }
  std::uint64_t x_bits = BitsOf(x);
  if (IsPositiveNormal(x_bits) && IsFiniteNonzero(BitsOf(y))) {
    double result;
    if (TryPowFast(ReduceForLog(x_bits, 0), y, result)) {
      return result;
    }
    return PowPositiveRest(x, y);
  }
  return PowOfSpecial(x, y);
}

}  // namespace math
}  // namespace calculator_core
