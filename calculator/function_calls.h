// Function calls: the call of any built-in function with its argument, and
// the elementary functions that need no more than one IEEE operation (abs,
// sqrt, the angle conversions).
#pragma once

#include "calculator/evaluator.h"

namespace calculator_core {

struct Builtin;

// Calls the built-in function `function` (not a constant), reading its
// argument at the cursor: an elementary function takes the whole sum that
// follows its name, a list function its own argument list.
double CallFunction(const Builtin& function, Calculator& calculator);

// The elementary functions of this file, as the registry names them; the
// transcendental ones are in math/elementary.h.
double Absolute(double x);
double SquareRootWithTolerance(double x);
double RadiansToDegrees(double x);
double DegreesToRadians(double x);

}  // namespace calculator_core
