// Sine, cosine and tangent.
//
// TEMPORARY: these still forward to the platform's functions (through
// library_math.h, which picks the C run-time's on Windows) until our
// correctly rounded versions replace this file. Until then they are
// neither correctly rounded nor the same bits on every target.

#include "calculator/library_math.h"
#include "calculator/math/elementary.h"

namespace calculator_core {
namespace math {

double Sin(double x) {
  return library_math::Sin(x);
}
double Cos(double x) {
  return library_math::Cos(x);
}
double Tan(double x) {
  return library_math::Tan(x);
}

}  // namespace math
}  // namespace calculator_core
