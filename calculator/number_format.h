// The number format of every answer; see number_format.cpp.
#pragma once

namespace calculator_core {

// Room for the longest number text, "-1.23457e-308", and its terminator.
constexpr int kNumberTextSize = 32;

// The answer format of a value: general notation with 6 significant digits,
// rounded half away from zero from the 17-digit decimal form, exponents with
// at least three digits, and 1.#INF / 1.#IND / 1.#QNAN / 1.#SNAN for values
// that are not finite. Writes `value` into `out` (at least kNumberTextSize
// bytes), NUL-terminated, and returns the number of characters written.
int FormatNumber(double value, char* out);

}  // namespace calculator_core
