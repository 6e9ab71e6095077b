// The bits of a binary64 double, for the elementary functions and the
// number format: moved to and from integers with memcpy, which every
// compiler turns into a register move.
#pragma once

#include <cstdint>
#include <cstring>

#include "calculator/math/floating_point_mode.h"

namespace calculator_core {
namespace math {

constexpr int kMantissaBits = 52;  // stored fraction bits; 53 with the hidden one
constexpr int kExponentBias = 1023;
constexpr std::uint64_t kMantissaMask = (std::uint64_t{1} << kMantissaBits) - 1;
constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
constexpr std::uint64_t kExponentMask = std::uint64_t{0x7FF} << kMantissaBits;
constexpr std::uint64_t kInfinityBits = kExponentMask;
constexpr std::uint64_t kSmallestNormalBits = std::uint64_t{1} << kMantissaBits;
// Set in a quiet NaN, clear in a signalling one.
constexpr std::uint64_t kQuietBit = std::uint64_t{1} << (kMantissaBits - 1);
// The not-a-number an invalid operation gives on every platform: sign set,
// quiet, no payload. The library builds it here and nowhere else.
constexpr std::uint64_t kDefaultNaNBits = kSignBit | kExponentMask | kQuietBit;

inline std::uint64_t BitsOf(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline double FromBits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline double DefaultNaN() {
  return FromBits(kDefaultNaNBits);
}

// `nan` made quiet, its sign and payload kept; by its bits, since an
// arithmetic operation need not keep the sign on every target.
inline double Quieted(double nan) {
  return FromBits(BitsOf(nan) | kQuietBit);
}

// 2^exponent for a normal result, -1022 <= exponent <= 1023.
inline double PowerOfTwo(int exponent) {
  return FromBits(static_cast<std::uint64_t>(exponent + kExponentBias) << kMantissaBits);
}

}  // namespace math
}  // namespace calculator_core
