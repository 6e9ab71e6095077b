// Exact decimal forms of doubles. A finite double is m * 2^e with integer m
// and e, so value * 10^s is an integer fraction; its floor, and whether
// anything was cut off, decide every rounding below. 128-bit products cover
// every value from 1e-5 up to 2^64 (nearly all answers); the rest takes a
// wide integer of at most 40 32-bit limbs (10^341 * 2^53 at the bottom of
// the subnormals, 2^1024 at the top).

#include "calculator/decimal_form.h"

#include <fast_float/fast_float.h>

#include "calculator/math/binary64.h"

namespace calculator_core {

namespace {

__extension__ typedef unsigned __int128 Uint128;

constexpr int kLargestPowerOfTen = 19;
constexpr std::uint32_t kLimbPowerOfTen = 1000000000;  // 10^9, the largest in a limb
constexpr int kLimbPowerDigits = 9;

// mantissa * 2^exponent.
struct BinaryValue {
  std::uint64_t mantissa;
  int exponent;
};

BinaryValue Decompose(double magnitude) {
  const std::uint64_t bits = math::BitsOf(magnitude);
  const std::uint64_t fraction = bits & math::kMantissaMask;
  const int biased = static_cast<int>(bits >> math::kMantissaBits);
  // The exponent of the fraction's last bit: a subnormal's is that of the
  // smallest normal.
  constexpr int kSubnormalExponent = 1 - math::kExponentBias - math::kMantissaBits;
  if (biased == 0) {
    return {fraction, kSubnormalExponent};
  }
  return {fraction | math::kSmallestNormalBits, biased + kSubnormalExponent - 1};
}

// The decimal exponent of `value`, or one less: floor(log10(2^p)) for the
// power of two p at which its leading bit stands (78913 / 2^18 is log10(2)
// close enough for every |p| < 1650).
int EstimateDecimalExponent(BinaryValue value) {
  const int bit_length = 64 - __builtin_clzll(value.mantissa);
  const int power_of_two = value.exponent + bit_length - 1;
  return (power_of_two * 78913) >> 18;
}

// A non-negative integer of up to kLimbs 32-bit limbs, least significant
// first, with the few operations the scaling needs.
class WideInteger {
 public:
  explicit WideInteger(std::uint64_t value) {
    limbs_[0] = static_cast<std::uint32_t>(value);
    limbs_[1] = static_cast<std::uint32_t>(value >> 32);
    size_ = limbs_[1] != 0 ? 2 : 1;
  }

  void MultiplyBy(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (int i = 0; i < size_; ++i) {
      const std::uint64_t product = std::uint64_t{limbs_[i]} * factor + carry;
      limbs_[i] = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) {
      limbs_[size_++] = static_cast<std::uint32_t>(carry);
    }
  }

  void MultiplyByPowerOfTen(int power) {
    for (; power >= kLimbPowerDigits; power -= kLimbPowerDigits) {
      MultiplyBy(kLimbPowerOfTen);
    }
    MultiplyBy(static_cast<std::uint32_t>(kPowersOfTen[power]));
  }

  // Returns the remainder.
  std::uint32_t DivideBy(std::uint32_t divisor) {
    std::uint64_t remainder = 0;
    for (int i = size_ - 1; i >= 0; --i) {
      const std::uint64_t current = (remainder << 32) | limbs_[i];
      limbs_[i] = static_cast<std::uint32_t>(current / divisor);
      remainder = current % divisor;
    }
    Trim();
    return static_cast<std::uint32_t>(remainder);
  }

  // Returns whether any of the digits divided away was not zero.
  bool DivideByPowerOfTen(int power) {
    bool remainder = false;
    for (; power >= kLimbPowerDigits; power -= kLimbPowerDigits) {
      remainder |= DivideBy(kLimbPowerOfTen) != 0;
    }
    remainder |= DivideBy(static_cast<std::uint32_t>(kPowersOfTen[power])) != 0;
    return remainder;
  }

  void ShiftLeft(int bits) {
    const int whole = bits / 32;
    const int part = bits % 32;
    limbs_[size_] = 0;
    for (int i = size_; i >= 0; --i) {
      std::uint32_t moved = limbs_[i] << part;
      if (part != 0 && i > 0) {
        moved |= limbs_[i - 1] >> (32 - part);
      }
      limbs_[i + whole] = moved;
    }
    for (int i = 0; i < whole; ++i) {
      limbs_[i] = 0;
    }
    size_ += whole + 1;
    Trim();
  }

  // Returns whether any of the bits shifted out was set.
  bool ShiftRight(int bits) {
    const int whole = bits / 32;
    const int part = bits % 32;
    if (whole >= size_) {
      bool any = false;
      for (int i = 0; i < size_; ++i) {
        any |= limbs_[i] != 0;
      }
      limbs_[0] = 0;
      size_ = 1;
      return any;
    }
    bool lost = (limbs_[whole] & ((std::uint32_t{1} << part) - 1)) != 0;
    for (int i = 0; i < whole; ++i) {
      lost |= limbs_[i] != 0;
    }
    const int new_size = size_ - whole;
    for (int i = 0; i < new_size; ++i) {
      std::uint32_t moved = limbs_[i + whole] >> part;
      if (part != 0 && i + whole + 1 < size_) {
        moved |= limbs_[i + whole + 1] << (32 - part);
      }
      limbs_[i] = moved;
    }
    size_ = new_size;
    Trim();
    return lost;
  }

  // The value, which the caller knows to be below 2^64.
  std::uint64_t Low64() const {
    return size_ > 1 ? (std::uint64_t{limbs_[1]} << 32) | limbs_[0] : limbs_[0];
  }

 private:
  static constexpr int kLimbs = 40;

  void Trim() {
    while (size_ > 1 && limbs_[size_ - 1] == 0) {
      --size_;
    }
  }

  std::uint32_t limbs_[kLimbs + 1];
  int size_;
};

// ScaledFloor for values far from 1, in a wide integer. Out of line, so
// that the common case keeps no array on its stack.
[[gnu::noinline]] std::uint64_t ScaledFloorWide(BinaryValue value, int scale, bool& inexact) {
  WideInteger wide(value.mantissa);
  if (value.exponent >= 0) {
    // A large integer: scale is negative.
    wide.ShiftLeft(value.exponent);
    inexact = wide.DivideByPowerOfTen(-scale);
  } else {
    wide.MultiplyByPowerOfTen(scale);
    inexact = wide.ShiftRight(-value.exponent);
  }
  return wide.Low64();
}

// floor(value * 10^scale), which the caller knows to be below 10^19, and
// whether that cut anything off.
std::uint64_t ScaledFloor(BinaryValue value, int scale, bool& inexact) {
  if (value.exponent >= 0 && scale >= 0) {
    inexact = false;
    return (value.mantissa << value.exponent) * kPowersOfTen[scale];
  }
  if (value.exponent < 0 && scale <= kLargestPowerOfTen + 3) {
    // m < 2^53 and 10^22 < 2^74: the product fits in 128 bits, and the
    // shift is below 128 because the result has at least 17 digits.
    const int first = scale < kLargestPowerOfTen ? scale : kLargestPowerOfTen;
    Uint128 scaled = Uint128{value.mantissa} * kPowersOfTen[first];
    scaled *= kPowersOfTen[scale - first];
    const int shift = -value.exponent;
    inexact = (scaled & ((Uint128{1} << shift) - 1)) != 0;
    return static_cast<std::uint64_t>(scaled >> shift);
  }
  return ScaledFloorWide(value, scale, inexact);
}

// The first 18 significant digits of a value, cut off rather than rounded.
struct TruncatedForm {
  std::uint64_t digits;  // 10^17 <= digits < 10^18
  int exponent;          // of the first digit
  bool inexact;          // digits were cut off that were not all zero
};

constexpr int kTruncatedDigits = kDecimalFormDigits + 1;

TruncatedForm Truncate(double magnitude) {
  const BinaryValue binary = Decompose(magnitude);
  TruncatedForm form;
  form.exponent = EstimateDecimalExponent(binary);
  form.digits = ScaledFloor(binary, kTruncatedDigits - 1 - form.exponent, form.inexact);
  if (form.digits >= kPowersOfTen[kTruncatedDigits]) {
    // The estimate was one too small: one digit more came out.
    form.inexact |= form.digits % 10 != 0;
    form.digits /= 10;
    ++form.exponent;
  }
  return form;
}

// Rounds `digits` of `count` significant digits at `exponent`, and `cut`,
// the digits below it out of `unit` (with `inexact` for what lies further
// below), to nearest with ties to even; a carry into a new digit moves the
// exponent.
DecimalForm RoundToEven(std::uint64_t digits, int count, int exponent, std::uint64_t cut,
                        std::uint64_t unit, bool inexact) {
  const std::uint64_t twice_cut = 2 * cut;
  if (twice_cut > unit || (twice_cut == unit && (inexact || digits % 2 == 1))) {
    ++digits;
    if (digits == kPowersOfTen[count]) {
      digits = kPowersOfTen[count - 1];
      ++exponent;
    }
  }
  return {digits, exponent, count};
}

// Whether the decimal digits * 10^power reads back as `magnitude`.
bool ReadsBackAs(std::uint64_t digits, int power, double magnitude) {
  // At most 20 digits, "e-", three digits of exponent.
  char text[32];
  char* end = text + sizeof text;
  char* first = end;
  int exponent = power < 0 ? -power : power;
  do {
    *--first = static_cast<char>('0' + exponent % 10);
    exponent /= 10;
  } while (exponent != 0);
  if (power < 0) {
    *--first = '-';
  }
  *--first = 'e';
  do {
    *--first = static_cast<char>('0' + digits % 10);
    digits /= 10;
  } while (digits != 0);
  double value = 0.0;
  fast_float::from_chars(first, end, value, fast_float::chars_format::scientific);
  return value == magnitude;
}

// The two decimals of `count` digits on either side of a value, and which
// of them read back as it.
struct Neighbours {
  std::uint64_t below;
  std::uint64_t cut;   // the digits of the truncated form below `below`
  std::uint64_t unit;  // 10^(number of those digits)
  bool below_reads_back;
  bool above_reads_back;
};

Neighbours NeighboursOf(const TruncatedForm& form, int count, double magnitude) {
  Neighbours neighbours;
  neighbours.unit = kPowersOfTen[kTruncatedDigits - count];
  neighbours.below = form.digits / neighbours.unit;
  neighbours.cut = form.digits % neighbours.unit;
  const int power = form.exponent - count + 1;
  neighbours.below_reads_back = ReadsBackAs(neighbours.below, power, magnitude);
  const bool exact = neighbours.cut == 0 && !form.inexact;
  neighbours.above_reads_back = !exact && ReadsBackAs(neighbours.below + 1, power, magnitude);
  return neighbours;
}

DecimalForm WithoutTrailingZeros(DecimalForm form) {
  while (form.count > 1 && form.digits % 10 == 0) {
    form.digits /= 10;
    --form.count;
  }
  return form;
}

}  // namespace

DecimalForm SeventeenDigitForm(double magnitude) {
  const TruncatedForm form = Truncate(magnitude);
  return RoundToEven(form.digits / 10, kDecimalFormDigits, form.exponent, form.digits % 10, 10,
                     form.inexact);
}

DecimalForm ShortestForm(double magnitude) {
  const TruncatedForm form = Truncate(magnitude);
  // A shorter decimal that reads back can always be lengthened into a
  // longer one (the nearer of a length's neighbours is never farther than
  // a shorter length's), so the shortest length is found by bisection; 17
  // digits always read back.
  int shortest = kDecimalFormDigits;
  for (int low = 1; low < shortest;) {
    const int middle = (low + shortest) / 2;
    const Neighbours neighbours = NeighboursOf(form, middle, magnitude);
    if (neighbours.below_reads_back || neighbours.above_reads_back) {
      shortest = middle;
    } else {
      low = middle + 1;
    }
  }
  const Neighbours neighbours = NeighboursOf(form, shortest, magnitude);
  DecimalForm chosen;
  if (neighbours.below_reads_back && neighbours.above_reads_back) {
    chosen = RoundToEven(neighbours.below, shortest, form.exponent, neighbours.cut, neighbours.unit,
                         form.inexact);
  } else if (neighbours.above_reads_back) {
    chosen = RoundToEven(neighbours.below, shortest, form.exponent, 1, 1, false);
  } else {
    chosen = {neighbours.below, form.exponent, shortest};
  }
  return WithoutTrailingZeros(chosen);
}

}  // namespace calculator_core
