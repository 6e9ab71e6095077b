// The number format of answer lines, built from the value's exact decimal
// forms (decimal_form.h) rather than from the C library's %g: the rounding
// to N significant digits is half away from zero on the 17-digit form, and
// exponents carry at least three digits. Integer arithmetic only, so that
// every target writes the same text.

#include "calculator/number_format.h"

#include <cstdint>
#include <cstring>

#include "calculator/decimal_form.h"
#include "calculator/math/binary64.h"

namespace calculator_core {

namespace {

static_assert(CALCULATOR_MAX_DIGITS <= kDecimalFormDigits,
              "every count of digits is cut from the 17-digit form");

constexpr int kLowestFixedExponent = -4;

using math::kExponentMask;
using math::kQuietBit;
using math::kSignBit;
constexpr std::uint64_t kPayloadMask = kQuietBit - 1;

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

// The 17-digit form cut to `significant` digits, the next digit deciding:
// 5 or more rounds the magnitude up. Trailing zeros removed.
DecimalForm RoundHalfUp(DecimalForm form, int significant) {
  if (significant < form.count) {
    const std::uint64_t unit = kPowersOfTen[form.count - significant - 1];
    std::uint64_t kept = form.digits / unit;  // with the deciding digit
    const bool up = kept % 10 >= 5;
    kept = kept / 10 + (up ? 1 : 0);
    if (kept == kPowersOfTen[significant]) {
      // 999999.5 and the like: the carry makes a new leading digit.
      kept /= 10;
      ++form.exponent;
    }
    form.digits = kept;
    form.count = significant;
  }
  while (form.count > 1 && form.digits % 10 == 0) {
    form.digits /= 10;
    --form.count;
  }
  return form;
}

// "00" to "99": two digits per division.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the `count` digits of `digits` at `out`.
void WriteDigits(std::uint64_t digits, int count, char* out) {
  for (; count >= 2; count -= 2) {
    const char* pair = kDigitPairs + 2 * (digits % 100);
    out[count - 2] = pair[0];
    out[count - 1] = pair[1];
    digits /= 100;
  }
  if (count == 1) {
    out[0] = static_cast<char>('0' + digits);
  }
}

int FormatFixed(const DecimalForm& form, char* out, int length) {
  if (form.exponent < 0) {
    out[length++] = '0';
    out[length++] = '.';
    for (int i = -1; i > form.exponent; --i) {
      out[length++] = '0';
    }
    WriteDigits(form.digits, form.count, out + length);
    return length + form.count;
  }
  const int integer_digits = form.exponent + 1;
  if (form.count <= integer_digits) {
    WriteDigits(form.digits, form.count, out + length);
    length += form.count;
    for (int i = form.count; i < integer_digits; ++i) {
      out[length++] = '0';
    }
    return length;
  }
  // The digits go one place to the right, and the integer digits move back
  // before the point.
  char* first = out + length;
  WriteDigits(form.digits, form.count, first + 1);
  for (int i = 0; i < integer_digits; ++i) {
    first[i] = first[i + 1];
  }
  first[integer_digits] = '.';
  return length + form.count + 1;
}

int FormatScientific(const DecimalForm& form, char* out, int length) {
  // The digits go one place to the right, and the first moves before the
  // point.
  WriteDigits(form.digits, form.count, out + length + 1);
  out[length] = out[length + 1];
  ++length;
  if (form.count > 1) {
    out[length] = '.';
    length += form.count;
  }
  out[length++] = 'e';
  int exponent = form.exponent;
  out[length++] = exponent < 0 ? '-' : '+';
  if (exponent < 0) {
    exponent = -exponent;
  }
  // A double's decimal exponent lies within -324..308: always three digits.
  out[length++] = static_cast<char>('0' + exponent / 100);
  out[length++] = static_cast<char>('0' + exponent / 10 % 10);
  out[length++] = static_cast<char>('0' + exponent % 10);
  return length;
}

}  // namespace

int FormatNumberDigits(double value, int significant, char* out) {
  const std::uint64_t bits = math::BitsOf(value);
  if ((bits & kExponentMask) == kExponentMask) {
    return FormatNonFinite(bits, out);
  }
  int length = 0;
  if ((bits & kSignBit) != 0) {
    out[length++] = '-';
    value = -value;
  }
  if (value == 0.0) {
    out[length++] = '0';
    out[length] = '\0';
    return length;
  }
  DecimalForm form;
  int fixed_limit = significant;
  if (significant == CALCULATOR_SHORTEST_DIGITS) {
    form = ShortestForm(value);
    // As long as 17 digits would be written in fixed notation.
    fixed_limit = CALCULATOR_MAX_DIGITS;
  } else {
    form = RoundHalfUp(SeventeenDigitForm(value), significant);
  }
  if (form.exponent >= kLowestFixedExponent && form.exponent < fixed_limit) {
    length = FormatFixed(form, out, length);
  } else {
    length = FormatScientific(form, out, length);
  }
  out[length] = '\0';
  return length;
}

}  // namespace calculator_core
