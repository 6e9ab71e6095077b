// Argument text: taking a parenthesised argument list apart as plain text.
#pragma once

#include <cstdint>

namespace calculator_core {

// Writes argument `index` of the first parenthesised list in `text` into the
// zero-filled buffer `out` of kTextBufferSize bytes, without a terminator.
void SplitArguments(const char* text, char* out, std::int32_t index);
// Writes the first blank-delimited word of `text` into the zero-filled
// buffer `out` of kTextBufferSize bytes, without a terminator.
void TrimWord(const char* text, char* out);
// Position of the first ")" at which the parentheses from the start of
// `text` balance; the position of the last character if there is none.
std::int32_t FindClosingParen(const char* text);

}  // namespace calculator_core
