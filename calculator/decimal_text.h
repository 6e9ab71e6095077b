// The exact scientific text of a double, for the number format.
//
// The standard library's floating-point <charconv> is the first choice: it
// never depends on the locale. Some C++ libraries (libc++ before 14, which
// the WebAssembly build uses) lack it; there the C library's snprintf (and,
// in number_reading.cpp, strtod) stand in. Both are correctly rounded in
// the C libraries concerned, and such builds never change the "C" locale,
// so the decimal point is always '.' and the results are the same bit for
// bit.
#pragma once

#include <charconv>
#include <cstddef>
#include <version>

#if !defined(__cpp_lib_to_chars)
#include <cstdio>
#endif

namespace calculator_core {

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
