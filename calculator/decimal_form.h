// The exact decimal forms of a double that the number format starts from,
// computed with integer arithmetic only, so that every target (Linux, the
// WebAssembly module, Windows) gets the same digits without a C library's
// printf or a C++ library's to_chars.
#pragma once

#include <cstdint>

namespace calculator_core {

// A decimal `digits` * 10^(exponent - count + 1): `count` significant
// digits, the first of them at the power of ten `exponent`.
struct DecimalForm {
  std::uint64_t digits;
  int exponent;
  int count;
};

// The most significant digits a decimal form carries.
constexpr int kDecimalFormDigits = 17;

// The finite, positive `magnitude` rounded to 17 significant digits, to
// nearest with ties to even, as C's "%.16e" writes it.
DecimalForm SeventeenDigitForm(double magnitude);

// The shortest decimal that reads back as `magnitude` (finite, positive)
// when rounded to the nearest double; among several of that length the
// nearest to it, and of two as near, the one with an even last digit. Its
// trailing zeros are removed.
DecimalForm ShortestForm(double magnitude);

}  // namespace calculator_core
