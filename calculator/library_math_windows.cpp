// The sine, cosine and tangent of the C run-time DLL (msvcrt.dll), reached
// through its import table: a plain call would bind to MinGW-w64's x87
// versions in libmingwex, which the linker prefers.

#include <cmath>
#include <cstdint>
#include <cstring>

#include "calculator/library_math.h"

extern "C" {
// The import table's entries, filled by the loader.
extern double (*__imp_sin)(double);
extern double (*__imp_cos)(double);
extern double (*__imp_tan)(double);
}

namespace calculator_core {
namespace library_math {

namespace {

// The one NaN an invalid operation gives on x86-64 (sign set, no payload),
// as the evaluator's own arithmetic produces: the run-time returns other
// NaNs for some domain errors.
double DefaultNaN() {
  constexpr std::uint64_t kDefaultNaNBits = 0xFFF8000000000000u;
  double value;
  std::memcpy(&value, &kDefaultNaNBits, sizeof value);
  return value;
}

double Canonical(double result, double argument) {
  return std::isnan(result) && !std::isnan(argument) ? DefaultNaN() : result;
}

}  // namespace

double Sin(double x) {
  return Canonical(__imp_sin(x), x);
}
double Cos(double x) {
  return Canonical(__imp_cos(x), x);
}
double Tan(double x) {
  return Canonical(__imp_tan(x), x);
}

}  // namespace library_math
}  // namespace calculator_core
