// Number reading: the value of a number's text, the one place that turns
// decimal digits into a double (number_format.cpp does the reverse).
#pragma once

namespace calculator_core {

// The longest prefix of [start, end) of the form digits[.digits] (the
// grammar has seen a digit at `start`): where it ends, and the double
// nearest to it, ties to even. Returned in registers, so that a caller in
// the evaluator's hot path keeps nothing on its stack for it.
struct DecimalPrefix {
  const char* end;
  double value;
};
DecimalPrefix ReadDecimal(const char* start, const char* end);

}  // namespace calculator_core
