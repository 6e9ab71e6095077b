// Number reading: the value of a number's text, the one place that turns
// decimal digits into a double (number_format.cpp does the reverse).
#pragma once

namespace calculator_core {

// Reads the longest prefix of [start, end) of the form digits[.digits]
// (the grammar has seen a digit at `start`) into `value`, the double
// nearest to it, ties to even. Returns the end of that prefix.
const char* ReadDecimal(const char* start, const char* end, double& value);

}  // namespace calculator_core
