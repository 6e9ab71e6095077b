// The number format of every answer; see number_format.cpp.
#pragma once

#include "calculator/calculator.h"

namespace calculator_core {

// Room for the longest number text, "-1.2345678901234567e-308" or
// "-0.00012345678901234567", and its terminator.
constexpr int kNumberTextSize = CALCULATOR_NUMBER_TEXT_SIZE;

// The answer format of a value with `significant` digits (1 to
// CALCULATOR_MAX_DIGITS): general notation, rounded half away from zero
// from the 17-digit decimal form, fixed notation for decimal exponents from
// -4 up to `significant` - 1, otherwise scientific with at least three
// exponent digits; trailing zeros and a bare point removed; 1.#INF /
// 1.#IND / 1.#QNAN / 1.#SNAN for values that are not finite.
// CALCULATOR_SHORTEST_DIGITS asks for the shortest decimal that reads back
// as `value`, in fixed notation for exponents from -4 to 16. Writes into
// `out` (at least kNumberTextSize bytes), NUL-terminated, and returns the
// number of characters written.
int FormatNumberDigits(double value, int significant, char* out);

}  // namespace calculator_core
