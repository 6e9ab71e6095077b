// Character classes of the expression language: plain ASCII classes,
// independent of any locale. Bytes from 128 up belong to no class.
//
// The grammar asks for the class of every character it reads; a table of
// 256 entries answers with one load instead of a chain of comparisons.
#pragma once

#include <cstddef>
#include <cstdint>

#include "calculator/calculator.h"

namespace calculator_core {

namespace character_class {
constexpr std::uint8_t kDigit = 1;
constexpr std::uint8_t kLetter = 2;

struct Table {
  constexpr Table() : classes() {
    for (int c = '0'; c <= '9'; ++c) {
      classes[c] = kDigit;
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
      classes[c] = kLetter;
      classes[c - 'A' + 'a'] = kLetter;
    }
  }
  std::uint8_t classes[256];
};

inline constexpr Table kTable{};

inline std::uint8_t Of(char c) {
  return kTable.classes[static_cast<unsigned char>(c)];
}
}  // namespace character_class

inline bool IsBlank(char c) {
  return c == ' ';
}
inline bool IsDigit(char c) {
  return character_class::Of(c) == character_class::kDigit;
}
inline bool IsLetter(char c) {
  return character_class::Of(c) == character_class::kLetter;
}
inline bool IsAlphanumeric(char c) {
  return character_class::Of(c) != 0;
}

// The rule for a name, the same for the expression reader, for variables
// assigned through the interfaces and for completion: a letter, then
// letters and digits.
inline bool StartsName(char c) {
  return IsLetter(c);
}
inline bool ContinuesName(char c) {
  return IsAlphanumeric(c);
}
// A name is read from a text, so it is at most as long as one.
constexpr std::size_t kLongestName = CALCULATOR_MAX_TEXT_LENGTH;
inline bool IsName(const char* text, std::size_t length) {
  if (length == 0 || length > kLongestName || !StartsName(text[0])) {
    return false;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (!ContinuesName(text[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace calculator_core
