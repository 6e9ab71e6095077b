// Loop bounds: how sigma's evaluated bounds and integral's literal step
// count become 32-bit loop counts, saturating instead of overflowing.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace calculator_core {

// Reads a step count the way the C library's atoi does, but saturating at
// the 32-bit limits instead of overflowing.
inline std::int32_t ParseStepCount(const char* text) {
  const char* c = text;
  while (*c == ' ' || (*c >= '\t' && *c <= '\r')) {
    ++c;
  }
  bool negative = false;
  if (*c == '+' || *c == '-') {
    negative = *c == '-';
    ++c;
  }
  // Accumulate toward the sign so that the lowest 32-bit value fits, and
  // saturate once the magnitude leaves the 32-bit range.
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  while (*c >= '0' && *c <= '9') {
    if (magnitude <= kLimit) {
      magnitude = magnitude * 10 + (*c - '0');
    }
    ++c;
  }
  if (negative) {
    return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::min()
                               : static_cast<std::int32_t>(-magnitude);
  }
  return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::max()
                             : static_cast<std::int32_t>(magnitude);
}

// Truncates toward zero into the 32-bit range; saturates outside it and
// maps NaN to 0.
inline std::int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
    return std::numeric_limits<std::int32_t>::min();
  }
  if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace calculator_core
