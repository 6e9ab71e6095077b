// Exact conversions between doubles and decimal text, for the number reader
// and the number format.
//
// The standard library's floating-point <charconv> is the first choice: it
// never depends on the locale. Some C++ libraries (libc++ before 14, which
// the WebAssembly build uses) lack it; there the C library's strtod and
// snprintf stand in. Both are correctly rounded in the C libraries
// concerned, and such builds never change the "C" locale, so the decimal
// point is always '.' and the results are the same bit for bit.
#pragma once

#include <charconv>
#include <cstddef>
#include <version>

#if !defined(__cpp_lib_to_chars)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#endif

namespace calculator_core {

// The value of the decimal text [first, last), of the form digits[.digits]
// and at most 249 characters long.
inline double ReadDecimal(const char* first, const char* last) {
  double value = 0.0;
#if defined(__cpp_lib_to_chars)
  std::from_chars(first, last, value, std::chars_format::fixed);
#else
  // strtod needs a terminated text; expression texts are at most 249
  // characters, so a longer run cannot reach here.
  char text[256];
  std::size_t length = static_cast<std::size_t>(last - first);
  if (length >= sizeof text) {
    length = sizeof text - 1;
  }
  std::memcpy(text, first, length);
  text[length] = '\0';
  value = std::strtod(text, nullptr);
#endif
  return value;
}

// Writes the finite, non-negative `value` in scientific notation with
// `precision` digits after the point ("d.ddde+XX", the exponent with at
// least two digits) into [first, last), and returns the end of the text.
// The caller's buffer has room for the whole text.
inline char* WriteScientific(double value, int precision, char* first, char* last) {
#if defined(__cpp_lib_to_chars)
  return std::to_chars(first, last, value, std::chars_format::scientific, precision).ptr;
#else
  int length =
      std::snprintf(first, static_cast<std::size_t>(last - first), "%.*e", precision, value);
  if (length < 0) {
    length = 0;
  }
  if (length >= last - first) {
    length = static_cast<int>(last - first) - 1;
  }
  return first + length;
#endif
}

}  // namespace calculator_core
