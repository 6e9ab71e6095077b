// Nested evaluations: set, integral and sigma, which evaluate the pieces of
// their argument lists in child frames.
#pragma once

#include "calculator/evaluation_frame.h"

namespace calculator_core {

// The functions of nested evaluations, as the registry calls them: each
// reads its own argument list at the cursor and leaves the cursor past it.
double SetFunction(EvaluationFrame& frame);
double IntegralFunction(EvaluationFrame& frame);
double SigmaFunction(EvaluationFrame& frame);

}  // namespace calculator_core
