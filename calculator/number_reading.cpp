// Number reading with std::from_chars: exact, locale-independent, and
// without the C library's strtod, whose result depends on the locale.

#include "calculator/number_reading.h"

#include <charconv>

namespace calculator_core {

double DecimalValue(const char* start, const char* end) {
  // A text of at most 249 characters keeps the number well inside the
  // double range, so the conversion cannot fail.
  double value = 0.0;
  std::from_chars(start, end, value, std::chars_format::fixed);
  return value;
}

}  // namespace calculator_core
