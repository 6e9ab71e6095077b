// Number reading: exact and locale-independent, the same code on every
// target, so that a text reads as the same double on Linux, in the
// WebAssembly module and on Windows.
//
// A number of at most 15 digits, nearly every one that people type, is an
// integer below 2^53 divided by a power of ten up to 10^15: both exact
// doubles, so one IEEE division gives the nearest double (Clinger's fast
// path, the one fast_float itself takes for such numbers, here without the
// cost of its general parser). Every other number goes to fast_float's
// from_chars.

#include "calculator/number_reading.h"

#include <fast_float/fast_float.h>

#include <cstddef>
#include <cstdint>

#include "calculator/characters.h"

namespace calculator_core {

namespace {

// Every integer of this many digits is below 2^53, and every power of ten
// up to 10^22 is a double.
constexpr std::ptrdiff_t kExactDigits = 15;
constexpr double kExactPowersOfTen[kExactDigits + 1] = {
    1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Out of line, so that the fast path does not set up its frame.
[[gnu::noinline]] double ReadLongDecimal(const char* start, const char* end) {
  // A text of at most kMaxTextLength characters keeps the number well
  // inside the double range, so the conversion cannot fail.
  double value = 0.0;
  fast_float::from_chars(start, end, value, fast_float::chars_format::fixed);
  return value;
}

}  // namespace

DecimalPrefix ReadDecimal(const char* start, const char* end) {
  std::uint64_t digits = 0;  // wraps past 19 digits, which then are not used
  const char* cursor = start;
  while (cursor != end && IsDigit(*cursor)) {
    digits = digits * 10 + static_cast<std::uint64_t>(*cursor - '0');
    ++cursor;
  }
  std::ptrdiff_t count = cursor - start;
  std::ptrdiff_t fraction_digits = 0;
  if (end - cursor >= 2 && cursor[0] == '.' && IsDigit(cursor[1])) {
    const char* fraction = ++cursor;
    while (cursor != end && IsDigit(*cursor)) {
      digits = digits * 10 + static_cast<std::uint64_t>(*cursor - '0');
      ++cursor;
    }
    fraction_digits = cursor - fraction;
    count += fraction_digits;
  }
  if (count <= kExactDigits) {
    return {cursor, static_cast<double>(digits) / kExactPowersOfTen[fraction_digits]};
  }
  return {cursor, ReadLongDecimal(start, cursor)};
}

}  // namespace calculator_core
