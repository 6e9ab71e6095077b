// The number format of answer lines, built from the value's 17-significant-
// digit decimal form rather than from the C library's %g: the rounding to six
// digits is half away from zero on that decimal form, and exponents carry at
// least three digits.

#include "calculator/number_format.h"

#include <charconv>
#include <cstdint>
#include <cstring>

#include "calculator/decimal_text.h"

namespace calculator_core {

namespace {

constexpr int kSignificantDigits = 6;
constexpr int kDecimalFormDigits = 17;
constexpr int kLowestFixedExponent = -4;
constexpr int kFixedExponentLimit = 6;
constexpr int kMinimumExponentDigits = 3;

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
constexpr std::uint64_t kExponentMask = std::uint64_t{0x7FF} << 52;
constexpr std::uint64_t kQuietBit = std::uint64_t{1} << 51;
constexpr std::uint64_t kPayloadMask = kQuietBit - 1;

struct RoundedDecimal {
  char digits[kSignificantDigits];  // the six significant digits
  int exponent;                     // power of ten of the first digit
};

int Append(char* out, int length, const char* text) {
  std::size_t size = std::strlen(text);
  std::memcpy(out + length, text, size);
  return length + static_cast<int>(size);
}

int FormatNonFinite(std::uint64_t bits, char* out) {
  int length = 0;
  if ((bits & kSignBit) != 0) {
    out[length++] = '-';
  }
  std::uint64_t fraction = bits & (kQuietBit | kPayloadMask);
  const char* tag = "1.#INF";
  if (fraction != 0) {
    bool quiet = (bits & kQuietBit) != 0;
    bool indefinite = quiet && (bits & kSignBit) != 0 && (bits & kPayloadMask) == 0;
    tag = indefinite ? "1.#IND" : quiet ? "1.#QNAN" : "1.#SNAN";
  }
  length = Append(out, length, tag);
  out[length] = '\0';
  return length;
}

// Rounds the magnitude to six significant digits, half away from zero, as
// decided by the seventh digit of its 17-digit decimal form.
RoundedDecimal RoundToSixDigits(double magnitude) {
  // "d.dddddddddddddddde+XXX" at most
  char form[40];
  char* form_end = WriteScientific(magnitude, kDecimalFormDigits - 1, form, form + sizeof form);
  *form_end = '\0';

  char digits[kDecimalFormDigits];
  digits[0] = form[0];
  std::memcpy(digits + 1, form + 2, kDecimalFormDigits - 1);
  const char* exponent_text = form + 2 + (kDecimalFormDigits - 1) + 1;  // past "e"
  int exponent = 0;
  std::from_chars(exponent_text + (*exponent_text == '+' ? 1 : 0), form_end, exponent);

  RoundedDecimal rounded;
  std::memcpy(rounded.digits, digits, kSignificantDigits);
  rounded.exponent = exponent;
  if (digits[kSignificantDigits] >= '5') {
    int i = kSignificantDigits - 1;
    while (i >= 0 && rounded.digits[i] == '9') {
      rounded.digits[i] = '0';
      --i;
    }
    if (i >= 0) {
      ++rounded.digits[i];
    } else {
      // 999999.5 and the like: the carry makes a new leading digit.
      rounded.digits[0] = '1';
      ++rounded.exponent;
    }
  }
  return rounded;
}

// Removes trailing zeros after a decimal point, and the point if bare.
int TrimFraction(char* out, int start, int length) {
  bool has_point = std::memchr(out + start, '.', static_cast<std::size_t>(length - start));
  if (!has_point) {
    return length;
  }
  while (out[length - 1] == '0') {
    --length;
  }
  if (out[length - 1] == '.') {
    --length;
  }
  return length;
}

int FormatFixed(const RoundedDecimal& rounded, char* out, int length) {
  int start = length;
  if (rounded.exponent >= 0) {
    int integer_digits = rounded.exponent + 1;
    std::memcpy(out + length, rounded.digits, static_cast<std::size_t>(integer_digits));
    length += integer_digits;
    out[length++] = '.';
    int fraction_digits = kSignificantDigits - integer_digits;
    std::memcpy(out + length, rounded.digits + integer_digits,
                static_cast<std::size_t>(fraction_digits));
    length += fraction_digits;
  } else {
    out[length++] = '0';
    out[length++] = '.';
    for (int i = -1; i > rounded.exponent; --i) {
      out[length++] = '0';
    }
    std::memcpy(out + length, rounded.digits, kSignificantDigits);
    length += kSignificantDigits;
  }
  return TrimFraction(out, start, length);
}

int FormatScientific(const RoundedDecimal& rounded, char* out, int length) {
  int start = length;
  out[length++] = rounded.digits[0];
  out[length++] = '.';
  std::memcpy(out + length, rounded.digits + 1, kSignificantDigits - 1);
  length += kSignificantDigits - 1;
  length = TrimFraction(out, start, length);

  out[length++] = 'e';
  int exponent = rounded.exponent;
  out[length++] = exponent < 0 ? '-' : '+';
  if (exponent < 0) {
    exponent = -exponent;
  }
  char exponent_digits[8];
  int count = 0;
  do {
    exponent_digits[count++] = static_cast<char>('0' + exponent % 10);
    exponent /= 10;
  } while (exponent > 0);
  while (count < kMinimumExponentDigits) {
    exponent_digits[count++] = '0';
  }
  while (count > 0) {
    out[length++] = exponent_digits[--count];
  }
  return length;
}

}  // namespace

int FormatNumber(double value, char* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  if ((bits & kExponentMask) == kExponentMask) {
    return FormatNonFinite(bits, out);
  }

  int length = 0;
  if ((bits & kSignBit) != 0) {
    out[length++] = '-';
    value = -value;
  }
  RoundedDecimal rounded = RoundToSixDigits(value);
  if (rounded.exponent >= kLowestFixedExponent && rounded.exponent < kFixedExponentLimit) {
    length = FormatFixed(rounded, out, length);
  } else {
    length = FormatScientific(rounded, out, length);
  }
  out[length] = '\0';
  return length;
}

}  // namespace calculator_core
