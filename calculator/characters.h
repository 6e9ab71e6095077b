// Character classes of the expression language: plain ASCII comparisons,
// independent of any locale. Bytes from 128 up belong to no class.
#pragma once

namespace calculator_core {

inline bool IsBlank(char c) {
  return c == ' ';
}
inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
inline bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
inline bool IsAlphanumeric(char c) {
  return IsLetter(c) || IsDigit(c);
}

}  // namespace calculator_core
