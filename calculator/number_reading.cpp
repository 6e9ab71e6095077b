// Number reading: fast_float's exact, locale-independent from_chars, the
// same code on every target, so that a text reads as the same double on
// Linux, in the WebAssembly module and on Windows.

#include "calculator/number_reading.h"

#include <fast_float/fast_float.h>

namespace calculator_core {

const char* ReadDecimal(const char* start, const char* end, double& value) {
  // A text of at most 249 characters keeps the number well inside the
  // double range, so the conversion cannot fail. The fixed format takes
  // no exponent, and a point only with the digits after it ("5." reads
  // as 5 and leaves the point).
  return fast_float::from_chars(start, end, value, fast_float::chars_format::fixed).ptr;
}

}  // namespace calculator_core
