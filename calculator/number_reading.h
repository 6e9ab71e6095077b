// Number reading: the value of a number's text, the one place that turns
// decimal digits into a double (number_format.cpp does the reverse).
#pragma once

namespace calculator_core {

// The double nearest to the text from `start` to `end`, which is
// digits[.digits] (the grammar has checked it), rounded to nearest even.
double DecimalValue(const char* start, const char* end);

}  // namespace calculator_core
