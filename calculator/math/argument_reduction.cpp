// Payne-Hanek reduction: x = m 2^e with m an integer of 53 bits, and
// x 2^s/pi mod 2^(s+1), the count of steps of pi/2^s within a turn and the
// fraction of a step beyond (s = 9 for the fast path's steps of pi/512,
// s = 1 for the slow path's quarter turns), needs only the bits b_i of 2/pi
// with i >= e - 1: each earlier one adds a multiple of 2^(s+1). A window of
// those bits times m, exact in integer arithmetic, gives the count of steps
// and the fraction of a step beyond it; the bits after the window change
// the fraction by less than m units of the window's last bit.

#include "calculator/math/argument_reduction.h"

#include "calculator/math/binary64.h"

namespace calculator_core {
namespace math {

namespace {

// A GCC and clang extension on every target we build for (x86-64, wasm32).
__extension__ typedef unsigned __int128 Unsigned128;
constexpr int kWordBits = 64;

struct Significand {
  std::uint64_t integer;  // m, below 2^53
  int exponent;           // x = m 2^exponent
};

Significand SignificandOf(double x) {
  std::uint64_t bits = BitsOf(x) & ~kSignBit;
  int biased = static_cast<int>(bits >> kMantissaBits);
  std::uint64_t fraction = bits & kMantissaMask;
  if (biased == 0) {
    return {fraction, 1 - kExponentBias - kMantissaBits};
  }
  return {fraction | (std::uint64_t{1} << kMantissaBits), biased - kExponentBias - kMantissaBits};
}

// Bits first .. first + 63 of 2/pi (b1 is the first after the point).
std::uint64_t TwoOverPiWordAt(int first) {
  using trigonometric_tables::kTwoOverPi;
  int word = (first - 1) / kWordBits;
  int shift = (first - 1) % kWordBits;
  if (shift == 0) {
    return kTwoOverPi[word];
  }
  return (kTwoOverPi[word] << shift) | (kTwoOverPi[word + 1] >> (kWordBits - shift));
}

// m times the window of `Words` words of 2/pi from bit `first`, as Words + 1
// words, least significant first.
template <int Words>
void MultiplyByWindow(std::uint64_t m, int first, std::uint64_t (&product)[Words + 1]) {
  Unsigned128 carry = 0;
  for (int i = Words - 1; i >= 0; --i) {
    Unsigned128 term = Unsigned128{m} * TwoOverPiWordAt(first + kWordBits * i) + carry;
    product[Words - 1 - i] = static_cast<std::uint64_t>(term);
    carry = term >> kWordBits;
  }
  product[Words] = static_cast<std::uint64_t>(carry);
}

// The 64 bits of `words` (least significant first) from bit `first` up;
// bits past the end read as zero.
template <int Count>
std::uint64_t WordAt(const std::uint64_t (&words)[Count], int first) {
  int word = first / kWordBits;
  int shift = first % kWordBits;
  std::uint64_t low = word < Count ? words[word] >> shift : 0;
  std::uint64_t high = word + 1 < Count && shift != 0 ? words[word + 1] << (kWordBits - shift) : 0;
  return low | high;
}

// The window product of x's significand for steps of pi/2^scale, and where
// its point lies: the count of steps is product >> fraction_bits.
template <int Words>
int WindowProduct(double x, int scale, std::uint64_t (&product)[Words + 1]) {
  Significand significand = SignificandOf(x);
  int first = significand.exponent - 1 > 1 ? significand.exponent - 1 : 1;
  MultiplyByWindow<Words>(significand.integer, first, product);
  // x 2^scale/pi = m 2^(e + scale - 1) sum b_i 2^-i, and the window's last
  // bit is b_(first + 64 Words - 1).
  return first + kWordBits * Words - significand.exponent - scale;
}

}  // namespace

ReducedArgument ReduceByPayneHanek(double x) {
  constexpr int kWords = 4;
  std::uint64_t product[kWords + 1];
  int fraction_bits = WindowProduct<kWords>(x, trigonometric_tables::kStepsLog2, product);
  // The point lies 246 bits up or more; the 192 bits below it are within
  // the product and off by less than 2^53 units of its last bit, that is
  // 2^-192 of a step.
  auto steps = static_cast<std::uint32_t>(WordAt(product, fraction_bits));
  std::uint64_t fraction[3];  // least significant first
  for (int i = 0; i < 3; ++i) {
    fraction[i] = WordAt(product, fraction_bits - kWordBits * (3 - i));
  }
  // Round the count to the nearest: a fraction of half a step or more
  // counts one more step and leaves a negative fraction, whose magnitude
  // is the two's complement.
  bool negative = (fraction[2] >> 63) != 0;
  if (negative) {
    ++steps;
    std::uint64_t borrow = 0;
    for (std::uint64_t& word : fraction) {
      std::uint64_t difference = 0 - word - borrow;
      borrow = (word != 0 || borrow != 0) ? 1 : 0;
      word = difference;
    }
  }
  // The leading 106 bits from the top word's first one make a
  // double-double. Next to a multiple of pi/2 the fraction is more than
  // 2^-54 of a step, so that word has a one; elsewhere, should it have none,
  // the bits from its end on still leave an error below 2^-160 of a step.
  int shift = __builtin_clzll(fraction[2] | 1);
  Unsigned128 top = (Unsigned128{fraction[2]} << kWordBits) | fraction[1];
  if (shift != 0) {
    top = (top << shift) | (fraction[0] >> (kWordBits - shift));
  }
  constexpr int kTopShift = 128 - 53;
  constexpr std::uint64_t kMask53 = (std::uint64_t{1} << 53) - 1;
  double leading = static_cast<double>(static_cast<std::uint64_t>(top >> kTopShift));
  double trailing =
      static_cast<double>(static_cast<std::uint64_t>(top >> (kTopShift - 53)) & kMask53);
  DoubleDouble f = {leading * PowerOfTwo(-53 - shift), trailing * PowerOfTwo(-106 - shift)};
  using trigonometric_tables::kStepHi;
  using trigonometric_tables::kStepLo;
  DoubleDouble r = TwoProduct(f.hi, kStepHi);
  r = FastTwoSum(r.hi, r.lo + (f.hi * kStepLo + f.lo * kStepHi));
  if (negative != (x < 0)) {
    r = {-r.hi, -r.lo};
  }
  if (x < 0) {
    steps = 0u - steps;
  }
  return {steps & 1023u, r};
}

Multiprecision ReduceByQuarterTurns(double x, std::uint32_t& quarter_turns) {
  // 448 bits of 2/pi: the fraction keeps more than 446 - 53 bits, of which
  // up to 62 are leading zeros for the doubles closest to a multiple of
  // pi/2.
  constexpr int kWords = 7;
  std::uint64_t product[kWords + 1];
  int fraction_bits = WindowProduct<kWords>(x, 1, product);
  quarter_turns = static_cast<std::uint32_t>(WordAt(product, fraction_bits));
  // The fraction's limbs, most significant first.
  constexpr int kFractionLimbs = 12;
  std::uint32_t limbs[kFractionLimbs];
  for (int i = 0; i < kFractionLimbs; ++i) {
    limbs[i] = static_cast<std::uint32_t>(WordAt(product, fraction_bits - 32 * (i + 1)));
  }
  bool negative = (limbs[0] >> 31) != 0;
  if (negative) {
    // 1 - fraction, in two's complement over the limbs.
    ++quarter_turns;
    std::uint64_t borrow = 0;
    for (int i = kFractionLimbs - 1; i >= 0; --i) {
      std::uint64_t difference = 0 - std::uint64_t{limbs[i]} - borrow;
      limbs[i] = static_cast<std::uint32_t>(difference);
      borrow = (difference >> 32) != 0 ? 1 : 0;
    }
  }
  Multiprecision fraction =
      Multiprecision::FromLimbs(limbs, kFractionLimbs, 0, negative != (x < 0));
  Multiprecision half_pi = Multiprecision::FromLimbs(trigonometric_tables::kHalfPi,
                                                     trigonometric_tables::kHalfPiLimbs, 1);
  if (x < 0) {
    quarter_turns = 0u - quarter_turns;
  }
  quarter_turns &= 3u;
  return fraction * half_pi;
}

}  // namespace math
}  // namespace calculator_core
