// x^y, correctly rounded, with the C standard's special cases.
//
// Fast path, for positive x and every y whose x^y is finite and not below
// 2^-1076 (results scaled by 2^((k - j)/512), subnormal ones rounded on
// their own grid: RoundsScaledSafely):
// x^y = e^t, t = y log x, e^t = 2^(k/512) e^r (exponential_tables.h,
// exponential_polynomial.h); u = 2^-53 is the unit roundoff and z, |z| <=
// Z = 2^-9.463, the logarithm's reduced argument (logarithm.h), with
//     log x = table_hi + table_lo + log(1 + z),
//     log(1 + z) = z - z^2/2 + z^3 Q(z) within 2^-73.1 |log(1 + z)|.
// One evaluation for every y: z = z_h + z_l, z_h the multiple of 2^-35
// nearest z (z_h^2 exact), and log x = hi + lo with
//     hi = table_hi + z - z_h^2/2 exactly, by two Fast2Sums (table_hi is 0
//          or of z's binade or above; |table_hi + z| >= z_h^2/2), and
//     lo = z^3 Q(z) + ((table_lo - z_l (z + z_h)/2) + the sums' errors),
// not normalised, so that hi, on which k and the rest wait, is ready early.
// y z^3 Q(z), up to |y z| Z^2/3 (1 + Z), then rides in the low parts: for
// |y z| <= 16 that keeps r in the polynomial's domain. Beyond (x near 1,
// |y| large; k = 0 there) log x is taken further, apart (AccurateLogForPow),
// since y magnifies its error: z - z^2/2 + z^3/3 + z^4 R(z) within 2^-82.8
// |log(1 + z)|, z^2 exact by Dekker's square, z^3/3 by double-double
// products, z^4 R(z) in doubles (six roundings' worth of 2^-30.39 |z|), the
// sums in double-double, normalised: within 2^-80.3 |z| per unit of y
// (error_bounds.sollya, kPowLargeProduct). With |y lo| <= u 746 there,
// every term below that is not per unit of |y z| is at most the common
// case's.
//
// t is carried exactly as far as it can be: y hi = product + its error by
// Dekker's product (hi split by bits); y lo rounded. k is the integer
// nearest hi (y 512/log 2), |k| <= 550912; r_lo (the product's error, y lo,
// tau and k log(2)/512's low part) is below 2^-22.45 + |y z^3 Q|, so |r|
// <= 2^-10.50 < kDomain. r_hi = product - k log2_hi/512 is exact: where k
// != 0, |product| > 2^-11, so it is a multiple of 2^-63, as is k
// log2_hi/512 (29 bits times 2^-38, k of 20), and |r_hi| < 2^-10.44.
// Then 2^(j/512) = hi e^tau (the table's hi of 30 bits) and e^(r + tau) =
// 1 + r + r^2 P(r): the result is hi (1 + r_a) + hi (r_b + p) with r_a
// the multiple of 2^-23 nearest r_hi, so that hi (1 + r_a) is exact (a
// multiple of 2^-52 below 2), r_b = (r_hi - r_a) + r_lo.
//
// t's absolute error is the result's relative error. |t| <= 746 on the
// fast path, so |y| <= 746/0.346 where k != 0 (|log x| >= 0.346) and
// |y table_lo| <= 2^-22.9; where k = 0, table_lo is the group's log_lo and
// |y log_lo| <= 2^-23.04 (746 times the table's largest |log_lo| over its
// group's least |log x|). Per unit of |y z|, the terms in z times y:
//   log(1 + z)'s polynomial                                  2^-73.11
//   z^3 Q(z): w = z^2, z w and the product rounded, Q's own
//     evaluation (2^-52.41)                                  2^-71.33
//   z_l (z + z_h)/2 (below 1.5 2^-36 |z|): two roundings, and
//     four more in the low parts                             2^-85.83
//   y z^3 Q(z) in eight roundings: lo, y lo, two of r_lo's,
//     r_b, r_b + p, hi times it, the test's                  2^-70.5
// Independent of y z, relative to the table's hi:
//   y times table_lo's error (2^-85.4; where k = 0, log_lo's
//     own rounding)                                          2^-74.33
//   y table_lo and y (sum.lo + log.lo) (2^-42.45) in the low
//     part's roundings (table_lo + z_l's term, sum.lo +
//     log.lo, their sum, lo, y lo): four of each             2^-73.91
//   k log(2)/512's low part, rounded, and log(2)/512's own   2^-76.47
//   r_lo's three additions, of at most 2^-22.45 besides the
//     per-|y z| part                                         2^-73.87
//   tau's own                                                2^-83
//   e^r's polynomial                                         2^-75.04
//   r rounded to one double inside the polynomial            2^-74.01
//   r^2 P(r): r^2's and the product's roundings, and P's own (two roundings
//     of half an ulp at 1/2: 2^-51.99) of |p| <= 2^-22.01     2^-73.01
//   r_b, r_b + p and hi times it, each rounded               2^-72.7
//   the rounding test's own rounding of the low part         2^-74.02
// As the result lies within e^(2^-10.50) of hi, and the bound's own
// roundings and the test's rounding of it take 2^-50 of it, the error is
// below hi (2^-70.67 + 2^-69.71 |y z|): the sums that error_bounds.sollya
// computes and rounds up into the test's bound (PowErrorBound). A partial
// product of Dekker's that falls below the normal range adds at most
// 2^-1074, nothing against these.
//
// Where the test fails the result may be exactly a double or halfway
// between two (no finite precision decides those): x^y is checked for
// being exact first, on x's odd part and exponent as integers (integer y,
// y = n/2^k with x a perfect 2^k-th power, x a power of 2), where nothing
// can underflow. Otherwise e^(y log x) in 320-bit
// arithmetic (multiprecision_elementary.h), about 2^-236; the published
// worst cases of pow need 2^-206.

#include "calculator/math/power.h"

#include <cstdint>

#include "calculator/math/binary64.h"
#include "calculator/math/double_double.h"
#include "calculator/math/elementary.h"
#include "calculator/math/error_bounds.h"
#include "calculator/math/exponential_polynomial.h"
#include "calculator/math/exponential_tables.h"
#include "calculator/math/logarithm.h"
#include "calculator/math/logarithm_polynomial.h"
#include "calculator/math/multiprecision_elementary.h"

namespace calculator_core {
namespace math {

namespace {

// Up to this |y z|, y z^3 Q(z) is left in t's low part (r_lo); beyond it,
// where x is near 1 and |y| large, log x is normalised first.
constexpr double kLargestProduct = 16.0;

// |r| <= log(2)/1024 + |y z^3 Q(z)| + the rest of r_lo (2^-22.46).
static_assert(exponential_polynomial::kDomain >
                  0x1.62e42fefa39efp-11 +
                      kLargestProduct * logarithm_tables::kLargestReduced *
                          logarithm_tables::kLargestReduced * 0x1.56p-2 +
                      0x1p-22,
              "the polynomial covers every r");

constexpr double kInfinity = __builtin_inf();

// The k of the fast path: from results below a quarter of the least
// subnormal (2^-1076, rounded to 0 there) to results beyond the overflow
// threshold (2^1024 e^(log(2)/1024 + ...), infinite there).
constexpr std::int64_t kLeastK = -1076 * 512;
constexpr std::int64_t kGreatestK = 1024 * 512 + 1;
// Beyond these, x^y overflows or is below half the least subnormal.
constexpr double kOverflowLimit = 710.0;    // e^709.79 is the largest double
constexpr double kUnderflowLimit = -746.0;  // e^-745.14 is 2^-1075

// |value|, by clearing the sign bit (andpd on x86-64, not a round trip
// through an integer register).
inline double Magnitude(double value) {
  return __builtin_fabs(value);
}

// By the biased exponent, which the reduction takes too.
bool IsPositiveNormal(std::uint64_t bits) {
  return static_cast<std::uint32_t>(bits >> kMantissaBits) - 1 < 0x7FE;
}

// Neither zero nor infinite nor NaN.
bool IsFiniteNonzero(std::uint64_t bits) {
  return (bits & ~kSignBit) - 1 < kInfinityBits - 1;
}

// A positive finite x as the bits of a normal double and an offset to its
// exponent (ReduceForLog's arguments).
struct NormalBits {
  std::uint64_t bits;
  int offset;
};

NormalBits NormalBitsOf(double x) {
  std::uint64_t bits = BitsOf(x);
  if (bits < kSmallestNormalBits) {
    return {BitsOf(x * 0x1p52), -kMantissaBits};
  }
  return {bits, 0};
}

LogReduction ReduceAnyPositive(double x) {
  NormalBits normal = NormalBitsOf(x);
  return ReduceForLog(normal.bits, normal.offset);
}

// z as z_h + z_l, z_h the multiple of 2^-35 nearest to z: 26 bits at most,
// its square exact; |z_l| <= min(|z|, 2^-36), |z_h| <= 2 |z|.
inline DoubleDouble SplitOfReduced(const LogReduction& reduction) {
  constexpr std::int64_t kHalfUnit = std::int64_t{1} << 27;
  double hi = static_cast<double>((reduction.z_units + kHalfUnit) & -(2 * kHalfUnit)) * 0x1p-63;
  return {hi, reduction.z - hi};
}

// log x = hi + lo + the polynomial's error, hi = table_hi + z - z_h^2/2
// exactly and lo the rest, y z^3 Q(z) in it: not normalised, so that hi
// is ready early.
[[gnu::always_inline]] inline DoubleDouble LogForPow(const LogReduction& reduction) {
  using logarithm_polynomial::kQ;
  double z = reduction.z;
  DoubleDouble halves = SplitOfReduced(reduction);
  double square_hi = (-0.5 * halves.hi) * halves.hi;
  double square_lo = (-0.5 * halves.lo) * (z + halves.hi);
  double w = z * z;
  double cube = (z * w) * ((kQ[0] + z * kQ[1]) + w * ((kQ[2] + z * kQ[3]) + w * kQ[4]));
  DoubleDouble sum = FastTwoSum(reduction.table_hi, z);
  DoubleDouble log = FastTwoSum(sum.hi, square_hi);
  return {log.hi, cube + ((reduction.table_lo + square_lo) + (sum.lo + log.lo))};
}

// log x = hi + lo normalised, within 2^-80.3 |z| of log(1 + z) past the
// table's part (power.cpp's opening comment): for |y z| beyond
// kLargestProduct, where y magnifies log x's error.
[[gnu::noinline]] DoubleDouble AccurateLogForPow(const LogReduction& reduction) {
  using logarithm_polynomial::kR;
  constexpr DoubleDouble kThird = {logarithm_polynomial::kThirdHi, logarithm_polynomial::kThirdLo};
  double z = reduction.z;
  DoubleDouble square = TwoSquare(z);
  DoubleDouble third_of_cube = Multiply(Multiply(square, z), kThird);
  double w = square.hi * square.hi;
  double quartic = w * (kR[0] + z * (kR[1] + z * (kR[2] + z * (kR[3] + z * kR[4]))));
  DoubleDouble log = FastTwoSum(reduction.table_hi, z);
  log = Add(log, DoubleDouble{-0.5 * square.hi, -0.5 * square.lo});
  log = Add(log, third_of_cube);
  return Add(log, quartic + reduction.table_lo);
}

// The fast path's approximation for positive finite x and finite nonzero
// y, given log x and y z, and ErrorBound, the bound for how log x was
// taken: false where the result is beyond its range.
template <double (*ErrorBound)(double table_hi, double yz)>
[[gnu::always_inline]] inline bool ApproximatePow(DoubleDouble log, double y, double yz,
                                                  BoundedApproximation& approximation) {
  using exponential_polynomial::kP;
  using exponential_tables::kStepHi;
  using exponential_tables::kStepLo;
  // y hi = product + its error exactly, by Dekker's product.
  double product = y * log.hi;
  double product_error = TwoProduct(Split(y), SplitByBits(log.hi), product).lo;

  // t = k log(2)/512 + r_hi + r_lo.
  constexpr double kShifter = 0x1.8p52;
  double shifted = log.hi * (y * exponential_tables::kScale) + kShifter;
  auto k = static_cast<std::int64_t>(BitsOf(shifted) - BitsOf(kShifter));
  if (static_cast<std::uint64_t>(k - kLeastK) > static_cast<std::uint64_t>(kGreatestK - kLeastK)) {
    return false;  // also where y log x is infinite or not a number
  }
  double k_double = shifted - kShifter;
  double r_hi = product - k_double * kStepHi;
  std::int64_t j = k & 511;
  const exponential_tables::Entry& entry = exponential_tables::kEntries[j];
  double r_lo = product_error + (y * log.lo + (entry.tau - k_double * kStepLo));
  double r = r_hi + r_lo;
  double r2 = r * r;
  double p = r2 * ((kP[0] + r * kP[1]) + r2 * (kP[2] + r * kP[3]));

  // 2^(j/512) e^(r + tau) = hi (1 + r_a) + hi (r_b + p).
  constexpr double kRounder = 0x1.8p29;
  double r_a = (r_hi + kRounder) - kRounder;
  double r_b = (r_hi - r_a) + r_lo;
  double head = entry.hi + entry.hi * r_a;
  double tail = entry.hi * (r_b + p);

  approximation = {{head, tail}, ErrorBound(entry.hi, yz), static_cast<int>((k - j) / 512)};
  return true;
}

// The fast path with its approximation, true with the result when it is
// sure of it.
template <double (*ErrorBound)(double table_hi, double yz)>
[[gnu::always_inline]] inline bool TryPowFastWith(DoubleDouble log, double y, double yz,
                                                  double& result) {
  BoundedApproximation approximation;
  return ApproximatePow<ErrorBound>(log, y, yz, approximation) &&
         RoundsScaledSafely(approximation.value, approximation.error, approximation.scale, result);
}

// Apart, so that the common case keeps its reduction in registers; the
// result in registers too.
[[gnu::noinline]] RoundedResult PowFastForLargeProduct(NormalBits x, double y, double yz) {
  RoundedResult result{0.0, false};
  result.sure = TryPowFastWith<PowLargeProductErrorBound>(
      AccurateLogForPow(ReduceForLog(x.bits, x.offset)), y, yz, result.value);
  return result;
}

[[gnu::always_inline]] inline bool TryPowFast(NormalBits x, double y, double& result) {
  LogReduction reduction = ReduceForLog(x.bits, x.offset);
  double yz = y * reduction.z;
  if (!(Magnitude(yz) <= kLargestProduct)) {
    RoundedResult large = PowFastForLargeProduct(x, y, yz);
    result = large.value;
    return large.sure;
  }
  return TryPowFastWith<PowErrorBound>(LogForPow(reduction), y, yz, result);
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
  std::uint64_t mantissa = bits & kMantissaMask;
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

// The integer square root of an odd value below 2^53 when it is one:
// true with the root. The double square root is correctly rounded and
// the value exact as a double, so the root is the truncated one or its
// neighbour; the comparison is on integers, where nothing underflows.
bool ExactSquareRoot(std::uint64_t value, std::uint64_t& root) {
  auto guess = static_cast<std::uint64_t>(__builtin_sqrt(static_cast<double>(value)));
  while (guess * guess > value) {
    --guess;
  }
  while ((guess + 1) * (guess + 1) <= value) {
    ++guess;
  }
  root = guess;
  return guess * guess == value;
}

// x^y when it is exactly a double, halfway between two or otherwise short
// enough for 320 bits, for positive finite x and finite nonzero y with
// |y log x| below 750: true with the exact value. Decided on x's odd part
// and exponent as integers: x = odd 2^e, y = n / 2^k with n odd. x^y is
// rational only if x^(1/2^k) is (n being prime to 2^k), that is when odd
// is a perfect 2^k-th power and 2^k divides e; and dyadic only if then
// the root is 1 or n > 0.
bool TryExactPower(double x, double y, Multiprecision& exact) {
  constexpr int kExactBits = Multiprecision::kBits - 2;
  OddAndExponent base = Decompose(x);
  OddAndExponent exponent = Decompose(Magnitude(y));
  int k = exponent.exponent < 0 ? -exponent.exponent : 0;
  if (base.odd == 1) {
    // 2^(e y): exact when e y is an integer, a few thousand at most.
    unsigned magnitude = static_cast<unsigned>(base.exponent < 0 ? -base.exponent : base.exponent);
    if (magnitude != 0 && __builtin_ctz(magnitude) < k) {
      return false;
    }
    exact = Multiprecision::FromInteger(1, static_cast<int>(y * base.exponent));
    return true;
  }
  // An odd part above 1 of at most 53 bits has 2^k-th roots for k <= 5.
  constexpr int kMaxRootDepth = 5;
  if (k > kMaxRootDepth || y < 0.0 || (base.exponent & ((1 << k) - 1)) != 0) {
    return false;
  }
  std::uint64_t root = base.odd;
  for (int i = 0; i < k; ++i) {
    if (!ExactSquareRoot(root, root)) {
      return false;
    }
  }
  double n = y * static_cast<double>(1 << k);  // exact: y = n / 2^k
  // A large power of an odd part above 1 is too long to be halfway
  // between two doubles.
  if (n * BitLength(root) > kExactBits) {
    return false;
  }
  auto count = static_cast<std::uint32_t>(n);
  exact = ExactPower(root, count).ScaledBy((base.exponent / (1 << k)) * static_cast<int>(count));
  return true;
}

// x^y in 320-bit arithmetic, for positive finite x and finite nonzero y
// with |y log x| below 750: exact, or within 2^-236 of it.
Multiprecision PowInMultiprecision(double x, double y) {
  Multiprecision exact;
  if (TryExactPower(x, y, exact)) {
    return exact;
  }
  DoubleDouble log = LogOfReduced(ReduceAnyPositive(x));
  Multiprecision t = MultiprecisionLog(x, log) * Multiprecision::FromDouble(y);
  return MultiprecisionExp(t);
}

// Not being exact, a result closer than 2^-236 to a rounding boundary
// would be far beyond every case known; it is rounded all the same.
double PowByMultiprecision(double x, double y) {
  return PowInMultiprecision(x, y).ToDouble();
}

// x^y for positive finite x and finite nonzero y, when the fast path has
// not decided it.
double PowPositiveRest(double x, double y) {
  if (x == 1.0) {
    return 1.0;  // for every y, however large
  }
  double estimate = y * LogOfReduced(ReduceAnyPositive(x)).hi;
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
  if (!TryPowFast(NormalBitsOf(magnitude), y, result)) {
    result = PowPositiveRest(magnitude, y);
  }
  return sign * result;
}

}  // namespace

bool PowFastPath(double x, double y, double& result) {
  return TryPowFast(NormalBitsOf(x), y, result);
}

bool PowFastApproximation(double x, double y, BoundedApproximation& approximation) {
  NormalBits normal = NormalBitsOf(x);
  LogReduction reduction = ReduceForLog(normal.bits, normal.offset);
  double yz = y * reduction.z;
  if (!(Magnitude(yz) <= kLargestProduct)) {
    return ApproximatePow<PowLargeProductErrorBound>(AccurateLogForPow(reduction), y, yz,
                                                     approximation);
  }
  return ApproximatePow<PowErrorBound>(LogForPow(reduction), y, yz, approximation);
}

Multiprecision PowSlowValue(double x, double y) {
  return PowInMultiprecision(x, y);
}

double PowSlowPath(double x, double y) {
  return PowPositiveRest(x, y);
}

double Pow(double x, double y) {
  std::uint64_t x_bits = BitsOf(x);
  // The square is the one rounded product, for every x (by y's bits: a
  // floating-point comparison costs the common case more).
  if (BitsOf(y) == BitsOf(2.0)) {
    return x * x;
  }
  if (IsPositiveNormal(x_bits)) {
    // A y that is zero, infinite or not a number is left to the special
    // cases after the fast path: y = 0 makes t = 0 there, the exact result
    // 1, and the others fail its range check on k.
    double result;
    if (TryPowFast({x_bits, 0}, y, result)) {
      return result;
    }
    if (IsFiniteNonzero(BitsOf(y))) {
      return PowPositiveRest(x, y);
    }
  }
  return PowOfSpecial(x, y);
}

}  // namespace math
}  // namespace calculator_core
