// The expression grammar, read and computed at once; see grammar.cpp.
#pragma once

#include "calculator/evaluator.h"

namespace calculator_core {

// Evaluates the longest sum at the start of `text`. Texts longer than 249
// characters are cut to their first 249.
double Calculate(Calculator& calculator, const char* text);
// The levels of the grammar, each reading from the cursor on.
double ParseSum(Calculator& calculator);
double ParseProduct(Calculator& calculator);
double ParsePower(Calculator& calculator);
// Reads one operand: a number, a parenthesised sum, or a name (a constant,
// a variable, or a function call with its argument). Its messages still
// carry the name it once had, "Func6".
double ReadOperand(Calculator& calculator);

}  // namespace calculator_core
