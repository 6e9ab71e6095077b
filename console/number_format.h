// The console's number format: general notation with 6 significant digits,
// rounded half away from zero from the 17-digit decimal form, exponents with
// at least three digits, and the 1.#INF / 1.#IND / 1.#QNAN / 1.#SNAN forms
// for values that are not finite.
#pragma once

// Room for the longest form, "-1.23457e-308", and its terminator.
constexpr int kNumberTextSize = 32;

// Writes `value` into `out` (at least kNumberTextSize bytes), NUL-terminated,
// and returns the number of characters written.
int FormatNumber(double value, char* out);
