// Number reading: exact and locale-independent with std::from_chars. Where
// the C++ library has no floating-point <charconv> (see decimal_text.h),
// the C library's correctly rounded strtod stands in; such builds never
// change the "C" locale, so the decimal point is always '.'.

#include "calculator/number_reading.h"

#include <charconv>
#include <cstddef>
#include <version>

#if !defined(__cpp_lib_to_chars)
#include <cstdlib>
#include <cstring>
#endif

namespace calculator_core {

double DecimalValue(const char* start, const char* end) {
  // A text of at most 249 characters keeps the number well inside the
  // double range, so the conversion cannot fail.
  double value = 0.0;
#if defined(__cpp_lib_to_chars)
  std::from_chars(start, end, value, std::chars_format::fixed);
#else
  // strtod needs a terminated text; expression texts are at most 249
  // characters, so a longer run cannot reach here.
  char text[256];
  std::size_t length = static_cast<std::size_t>(end - start);
  if (length >= sizeof text) {
    length = sizeof text - 1;
  }
  std::memcpy(text, start, length);
  text[length] = '\0';
  value = std::strtod(text, nullptr);
#endif
  return value;
}

}  // namespace calculator_core
