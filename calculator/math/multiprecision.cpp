// Multiprecision: exact arithmetic on limbs, cut to 320 bits.

#include "calculator/math/multiprecision.h"

#include "calculator/math/binary64.h"

namespace calculator_core {
namespace math {

namespace {

constexpr int kLimbBits = 32;
constexpr int kLimbs = Multiprecision::kLimbs;

int LeadingZeros(std::uint32_t limb) {
  return limb == 0 ? kLimbBits : __builtin_clz(limb);
}

}  // namespace

void Multiprecision::Assign(const std::uint32_t* limbs, int count, int exponent, bool negative) {
  int first = 0;
  while (first < count && limbs[first] == 0) {
    ++first;
  }
  if (first == count) {
    *this = Multiprecision();
    return;
  }
  int shift = LeadingZeros(limbs[first]);
  for (int i = 0; i < kLimbs; ++i) {
    int source = first + i;
    std::uint32_t high = source < count ? limbs[source] : 0;
    std::uint32_t low = source + 1 < count ? limbs[source + 1] : 0;
    limbs_[i] = shift == 0 ? high : (high << shift) | (low >> (kLimbBits - shift));
  }
  exponent_ = exponent - kLimbBits * first - shift;
  negative_ = negative;
}

Multiprecision Multiprecision::FromInteger(std::uint64_t magnitude, int exponent) {
  const std::uint32_t limbs[2] = {static_cast<std::uint32_t>(magnitude >> kLimbBits),
                                  static_cast<std::uint32_t>(magnitude)};
  Multiprecision result;
  result.Assign(limbs, 2, exponent + 2 * kLimbBits, false);
  return result;
}

Multiprecision Multiprecision::FromDouble(double value) {
  std::uint64_t bits = BitsOf(value);
  int biased = static_cast<int>((bits & kExponentMask) >> kMantissaBits);
  std::uint64_t fraction = bits & kMantissaMask;
  Multiprecision result = biased == 0 ? FromInteger(fraction, 1 - kExponentBias - kMantissaBits)
                                      : FromInteger(fraction | (std::uint64_t{1} << kMantissaBits),
                                                    biased - kExponentBias - kMantissaBits);
  result.negative_ = !result.IsZero() && (bits & kSignBit) != 0;
  return result;
}

Multiprecision Multiprecision::FromLimbs(const std::uint32_t* limbs, int count, int exponent,
                                         bool negative) {
  Multiprecision result;
  result.Assign(limbs, count, exponent, negative);
  return result;
}

double Multiprecision::ToDouble() const {
  const std::uint64_t sign = negative_ ? kSignBit : 0;
  if (IsZero()) {
    return FromBits(sign);
  }
  // The value is 1.f * 2^binary_exponent.
  int binary_exponent = exponent_ - 1;
  constexpr int kMaxExponent = 1023;
  constexpr int kMinNormalExponent = -1022;
  if (binary_exponent > kMaxExponent) {
    return FromBits(sign | kExponentMask);
  }
  // Significant bits the result keeps: 53, fewer for a subnormal one.
  int precision = kMantissaBits + 1;
  if (binary_exponent < kMinNormalExponent) {
    precision -= kMinNormalExponent - binary_exponent;
  }
  if (precision < 0) {
    return FromBits(sign);  // below half the least subnormal
  }
  std::uint64_t top = (std::uint64_t{limbs_[0]} << kLimbBits) | limbs_[1];
  bool sticky = false;
  for (int i = 2; i < kLimbs; ++i) {
    sticky = sticky || limbs_[i] != 0;
  }
  std::uint64_t kept = precision == 0 ? 0 : top >> (64 - precision);
  std::uint64_t rest = precision == 0 ? top : top << precision;
  constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
  if (rest > kHalf || (rest == kHalf && (sticky || (kept & 1) != 0))) {
    ++kept;
  }
  if (precision < kMantissaBits + 1) {
    // kept * 2^-1074; a carry into 2^52 is the least normal number's code.
    return FromBits(sign | kept);
  }
  if (kept >> (kMantissaBits + 1) != 0) {
    kept >>= 1;
    ++binary_exponent;
    if (binary_exponent > kMaxExponent) {
      return FromBits(sign | kExponentMask);
    }
  }
  return FromBits(sign |
                  (static_cast<std::uint64_t>(binary_exponent + kExponentBias) << kMantissaBits) |
                  (kept & kMantissaMask));
}

Multiprecision Multiprecision::operator-() const {
  Multiprecision result = *this;
  result.negative_ = !IsZero() && !negative_;
  return result;
}

bool MagnitudeBelow(const Multiprecision& a, const Multiprecision& b) {
  if (a.IsZero() || b.IsZero()) {
    return a.IsZero() && !b.IsZero();
  }
  if (a.exponent_ != b.exponent_) {
    return a.exponent_ < b.exponent_;
  }
  for (int i = 0; i < kLimbs; ++i) {
    if (a.limbs_[i] != b.limbs_[i]) {
      return a.limbs_[i] < b.limbs_[i];
    }
  }
  return false;
}

Multiprecision Multiprecision::AddMagnitudes(const Multiprecision& larger,
                                             const Multiprecision& smaller, bool subtract,
                                             bool negative) {
  // Two guard limbs: a difference that cancels leading limbs still has
  // every bit of the smaller operand that can reach the result's 320.
  constexpr int kWork = kLimbs + 2;
  std::uint32_t aligned[kWork] = {};
  int distance = larger.exponent_ - smaller.exponent_;
  int limb_shift = distance / kLimbBits;
  int bit_shift = distance % kLimbBits;
  for (int i = 0; i < kLimbs && i + limb_shift < kWork; ++i) {
    int target = i + limb_shift;
    aligned[target] |= bit_shift == 0 ? smaller.limbs_[i] : smaller.limbs_[i] >> bit_shift;
    if (bit_shift != 0 && target + 1 < kWork) {
      aligned[target + 1] |= smaller.limbs_[i] << (kLimbBits - bit_shift);
    }
  }
  // One limb in front for the carry of a sum.
  std::uint32_t result[kWork + 1] = {};
  std::uint64_t carry = 0;
  for (int i = kWork - 1; i >= 0; --i) {
    std::uint64_t own = i < kLimbs ? larger.limbs_[i] : 0;
    if (subtract) {
      // carry holds the borrow here.
      std::uint64_t difference = own - aligned[i] - carry;
      result[i + 1] = static_cast<std::uint32_t>(difference);
      carry = (difference >> 63) & 1;
    } else {
      std::uint64_t sum = own + aligned[i] + carry;
      result[i + 1] = static_cast<std::uint32_t>(sum);
      carry = sum >> kLimbBits;
    }
  }
  result[0] = subtract ? 0 : static_cast<std::uint32_t>(carry);
  Multiprecision sum;
  sum.Assign(result, kWork + 1, larger.exponent_ + kLimbBits, negative);
  return sum;
}

Multiprecision operator+(const Multiprecision& a, const Multiprecision& b) {
  if (a.IsZero()) {
    return b;
  }
  if (b.IsZero()) {
    return a;
  }
  if (a.negative_ == b.negative_) {
    return MagnitudeBelow(a, b) ? Multiprecision::AddMagnitudes(b, a, false, a.negative_)
                                : Multiprecision::AddMagnitudes(a, b, false, a.negative_);
  }
  return MagnitudeBelow(a, b) ? Multiprecision::AddMagnitudes(b, a, true, b.negative_)
                              : Multiprecision::AddMagnitudes(a, b, true, a.negative_);
}

Multiprecision operator-(const Multiprecision& a, const Multiprecision& b) {
  return a + (-b);
}

Multiprecision operator*(const Multiprecision& a, const Multiprecision& b) {
  if (a.IsZero() || b.IsZero()) {
    return Multiprecision();
  }
  // Limb k of the product weighs 2^(-32 (k+1)), like the operands' limbs.
#ifdef __SIZEOF_INT128__
  // Pairs of limbs as 64-bit words, column by column from the least
  // significant (Comba's method), the 128-bit partial products' halves
  // adding up apart.
  __extension__ typedef unsigned __int128 Wide;
  constexpr int kWords = kLimbs / 2;
  std::uint64_t a_words[kWords];
  std::uint64_t b_words[kWords];
  for (int i = 0; i < kWords; ++i) {
    a_words[i] = (std::uint64_t{a.limbs_[2 * i]} << kLimbBits) | a.limbs_[2 * i + 1];
    b_words[i] = (std::uint64_t{b.limbs_[2 * i]} << kLimbBits) | b.limbs_[2 * i + 1];
  }
  std::uint32_t product[2 * kLimbs];
  Wide carry = 0;
  for (int column = 2 * kWords - 1; column >= 1; --column) {
    Wide low_sum = carry;
    Wide high_sum = 0;
    int first = column - kWords < 0 ? 0 : column - kWords;
    int last = column - 1 < kWords - 1 ? column - 1 : kWords - 1;
    for (int i = first; i <= last; ++i) {
      Wide term = Wide{a_words[i]} * b_words[column - 1 - i];
      low_sum += static_cast<std::uint64_t>(term);
      high_sum += term >> 64;
    }
    product[2 * column] = static_cast<std::uint32_t>(low_sum >> kLimbBits);
    product[2 * column + 1] = static_cast<std::uint32_t>(low_sum);
    carry = (low_sum >> 64) + high_sum;
  }
  product[0] = static_cast<std::uint32_t>(carry >> kLimbBits);
  product[1] = static_cast<std::uint32_t>(carry);
#else
  // Column by column from the least significant (Comba's method): the
  // partial products of a column add up in registers, their low and high
  // halves apart (ten of them stay far below 2^64).
  std::uint32_t product[2 * kLimbs];
  std::uint64_t carry = 0;
  for (int column = 2 * kLimbs - 1; column >= 1; --column) {
    // Limbs i and j with i + j + 1 == column, and the high halves of those
    // with i + j == column.
    std::uint64_t low_sum = carry;
    std::uint64_t high_sum = 0;
    int first = column - kLimbs < 0 ? 0 : column - kLimbs;
    int last = column - 1 < kLimbs - 1 ? column - 1 : kLimbs - 1;
    for (int i = first; i <= last; ++i) {
      std::uint64_t term = std::uint64_t{a.limbs_[i]} * b.limbs_[column - 1 - i];
      low_sum += term & 0xFFFFFFFFu;
      high_sum += term >> kLimbBits;
    }
    product[column] = static_cast<std::uint32_t>(low_sum);
    carry = (low_sum >> kLimbBits) + high_sum;
  }
  product[0] = static_cast<std::uint32_t>(carry);
#endif
  Multiprecision result;
  result.Assign(product, 2 * kLimbs, a.exponent_ + b.exponent_, a.negative_ != b.negative_);
  return result;
}

Multiprecision Multiprecision::Times(std::uint32_t factor) const {
  std::uint32_t product[kLimbs + 1];
  std::uint64_t carry = 0;
  for (int i = kLimbs - 1; i >= 0; --i) {
    std::uint64_t term = std::uint64_t{limbs_[i]} * factor + carry;
    product[i + 1] = static_cast<std::uint32_t>(term);
    carry = term >> kLimbBits;
  }
  product[0] = static_cast<std::uint32_t>(carry);
  Multiprecision result;
  result.Assign(product, kLimbs + 1, exponent_ + kLimbBits, negative_);
  return result;
}

Multiprecision Multiprecision::DividedBy(std::uint32_t divisor) const {
  // Two more quotient limbs than the dividend has: the first may be zero,
  // and the cut result still needs kLimbs after it.
  std::uint32_t quotient[kLimbs + 2];
  std::uint64_t remainder = 0;
  for (int i = 0; i < kLimbs + 2; ++i) {
    std::uint64_t current = (remainder << kLimbBits) | (i < kLimbs ? limbs_[i] : 0);
    quotient[i] = static_cast<std::uint32_t>(current / divisor);
    remainder = current % divisor;
  }
  Multiprecision result;
  result.Assign(quotient, kLimbs + 2, exponent_, negative_);
  return result;
}

Multiprecision Multiprecision::Reciprocal() const {
  // 1/m for m = value 2^-exponent in [1/2, 1) by Newton's iteration
  // y' = y + y (1 - m y) from the double nearest: 53 correct bits, then
  // 106, 212 and all that the cuts leave.
  Multiprecision m = ScaledBy(-exponent_);
  const Multiprecision one = FromInteger(1);
  Multiprecision y = FromDouble(1.0 / m.ToDouble());
  for (int i = 0; i < 3; ++i) {
    y = y + y * (one - m * y);
  }
  return y.ScaledBy(-exponent_);
}

Multiprecision Multiprecision::ScaledBy(int power) const {
  Multiprecision result = *this;
  if (!IsZero()) {
    result.exponent_ += power;
  }
  return result;
}

bool RoundsSafely(const Multiprecision& value, int error_exponent) {
  // One more bit for the cuts of the two sums themselves.
  Multiprecision error = Multiprecision::FromInteger(1, error_exponent + 1);
  return BitsOf((value - error).ToDouble()) == BitsOf((value + error).ToDouble());
}

}  // namespace math
}  // namespace calculator_core
