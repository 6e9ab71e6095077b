// The NaN that an operation with NaN operands answers with.
//
// The hardware hands back the first operand of its instruction when both
// are NaN, and compilers may swap the operands of + and *, so the sign of
// such a NaN (1.#QNAN or -1.#IND) would otherwise depend on the compiler,
// the optimiser's mood and the platform. The rule here holds in every
// build: the left operand of the expression as written wins.
#pragma once

#include <cmath>

namespace calculator_core {

// `result` is left (op) right; a NaN left operand is the answer, made quiet.
[[gnu::always_inline]] inline double LeftNaNFirst(double result, double left) {
  if (std::isnan(result) && std::isnan(left)) {
    return left + 0.0;
  }
  return result;
}

}  // namespace calculator_core
