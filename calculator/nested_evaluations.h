// Nested evaluations: set, integral and sigma, which evaluate the pieces of
// their argument lists in child Calculators.
#pragma once

#include "calculator/evaluator.h"

namespace calculator_core {

// The functions of nested evaluations, as the registry calls them: each
// reads its own
// argument list at the cursor and leaves the cursor past it.
double SetFunction(Calculator& calculator);
double IntegralFunction(Calculator& calculator);
double SigmaFunction(Calculator& calculator);

}  // namespace calculator_core
