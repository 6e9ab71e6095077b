// x^y.
//
// TEMPORARY: forwards to the platform's function until the correctly
// rounded version lands.

#include "calculator/library_math.h"
#include "calculator/math/elementary.h"

namespace calculator_core {
namespace math {

double Pow(double base, double exponent) {
  return library_math::Pow(base, exponent);
}

}  // namespace math
}  // namespace calculator_core
