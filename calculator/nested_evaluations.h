// Nested evaluations: set, integral and sigma, which evaluate the pieces of
// their argument lists in child Calculators.
#pragma once

#include <cstdint>

#include "calculator/evaluator.h"

namespace calculator_core {

// Evaluates `text` in a child of `parent`; on an evaluation error writes the
// error report and yields 0.
double EvaluateIsolated(const Calculator& parent, const char* text);
// The list functions: each reads its own argument list at the cursor.
double SetFunction(Calculator& calculator);
double IntegralFunction(Calculator& calculator);
double SigmaFunction(Calculator& calculator);

// Reads a step count the way the C library's atoi does, but saturating at
// the 32-bit limits instead of overflowing.
std::int32_t ParseStepCount(const char* text);
// Truncates toward zero into the 32-bit range; saturates outside it and
// maps NaN to 0.
std::int32_t TruncateToInt32(double value);

// Hands the two-line report for a failed nested evaluation to the
// calculator's report sink.
void WriteErrorReport(const Calculator& calculator, const char* message);
}  // namespace calculator_core
