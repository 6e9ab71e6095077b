// Function calls: the nine elementary functions, and the call of any
// built-in function with its argument.
#pragma once

#include "calculator/evaluator.h"

namespace calculator_core {

struct Builtin;

// Calls the built-in function `function` (not a constant), reading its
// argument at the cursor: an elementary function takes the whole sum that
// follows its name, a list function its own argument list.
double CallFunction(const Builtin& function, Calculator& calculator);

// The elementary functions as the registry names them.
double Sine(double x);
double Cosine(double x);
double Tangent(double x);
double NaturalLog(double x);
double CommonLog(double x);
double Absolute(double x);
double SquareRootWithTolerance(double x);
double RadiansToDegrees(double x);
double DegreesToRadians(double x);

}  // namespace calculator_core
