// The expression grammar, read and computed at once; see grammar.cpp.
#pragma once

#include "calculator/evaluation_frame.h"

namespace calculator_core {

// Evaluates the longest sum at the start of `text`. Texts longer than
// kMaxTextLength characters are cut to their first kMaxTextLength.
double Calculate(EvaluationFrame& frame, const char* text);
// Reads the longest sum from the cursor on, in the text the frame
// already holds: a loop step's body, which the loop lends to each step.
double ParseSum(EvaluationFrame& frame);

}  // namespace calculator_core
