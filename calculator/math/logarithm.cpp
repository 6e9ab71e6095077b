// Natural and common logarithms.
//
// TEMPORARY: forwards to the platform's functions until the correctly
// rounded versions land.

#include "calculator/library_math.h"
#include "calculator/math/elementary.h"

namespace calculator_core {
namespace math {

double Log(double x) {
  return library_math::Log(x);
}
double Log10(double x) {
  return library_math::Log10(x);
}

}  // namespace math
}  // namespace calculator_core
