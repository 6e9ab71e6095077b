// The NaN that an operation with NaN operands answers with.
//
// The hardware hands back the first operand of its instruction when both
// are NaN, and compilers may swap the operands of + and *, so the sign of
// such a NaN (1.#QNAN or -1.#IND) would otherwise depend on the compiler,
// the optimiser's mood and the platform. The rule here holds in every
// build: the left operand of the expression as written wins.
#pragma once

#include <cmath>

#include "calculator/math/binary64.h"

namespace calculator_core {

// Out of line: NaN operands are rare, and the loops stay tight without
// this path.
[[gnu::noinline, gnu::cold]] inline double QuietNaNUnlessNumber(double result, double left) {
  return std::isnan(left) ? math::Quieted(left) : result;
}

// `result` is left (op) right; a NaN left operand is the answer, made quiet.
[[gnu::always_inline]] inline double LeftNaNFirst(double result, double left) {
  if (__builtin_expect(result != result, 0)) {
    return QuietNaNUnlessNumber(result, left);
  }
  return result;
}

}  // namespace calculator_core
