// Nested evaluations: set, integral and sigma, which take their argument list
// apart as text and evaluate the pieces in child frames.
//
// A child sees its parent's variables, holds only those it assigns itself,
// and lives for one evaluation: one argument or one loop step. Children live
// on the stack, so every path out of a step releases them. An evaluation
// error inside a child is reported on two lines and does not end the input
// line.

#include "calculator/nested_evaluations.h"

#include <cmath>
#include <cstring>

#include "calculator/argument_text.h"
#include "calculator/grammar.h"
#include "calculator/loop_bounds.h"
#include "calculator/messages.h"
#include "calculator/nan_operands.h"
#include "calculator/variable_scopes.h"

namespace calculator_core {

namespace {

constexpr std::int32_t kSetName = 0;
constexpr std::int32_t kSetExpression = 1;
constexpr std::int32_t kLoopVariable = 0;
constexpr std::int32_t kIntegralLower = 1;
constexpr std::int32_t kIntegralUpper = 2;
constexpr std::int32_t kIntegralSteps = 3;
constexpr std::int32_t kIntegralBody = 4;
constexpr std::int32_t kSigmaFirst = 1;
constexpr std::int32_t kSigmaLast = 2;
constexpr std::int32_t kSigmaBody = 3;

// The text from the cursor to the end of the expression.
const char* TextAtCursor(const EvaluationFrame& frame) {
  return frame.expression + frame.cursor;
}

// Hands the two-line report of a failed nested evaluation to the
// frame's report sink.
void WriteErrorReport(const EvaluationFrame& frame, const char* message) {
  const EvaluationContext* context = frame.context;
  if (context == nullptr || context->report == nullptr) {
    return;
  }
  char detail[kTextBufferSize + 8] = {};
  std::strncat(detail, messages::kReportDetailPrefix, sizeof detail - 1);
  std::strncat(detail, message, sizeof detail - 1 - std::strlen(detail));
  context->report(context->report_context, messages::kReportHeadline);
  context->report(context->report_context, detail);
}

// Evaluates `text` in a child of `parent`; on an evaluation error writes the
// error report and yields 0.
double EvaluateIsolated(const EvaluationFrame& parent, const char* text) {
  double result = 0.0;
  EvaluationFrame child(ChildOf{parent});
  try {
    result = Calculate(child, text);
  } catch (const EvaluationError& error) {
    WriteErrorReport(parent, error.message);
    result = 0.0;
  }
  return result;
}

// Cuts argument `index` into `out`, a fresh zero-filled buffer.
void CutArgument(const EvaluationFrame& frame, std::int32_t index, char* out) {
  std::memset(out, 0, kTextBufferSize);
  SplitArguments(TextAtCursor(frame), out, index);
}

// Cuts argument `index` and keeps its first word in `word`.
void CutFirstWord(const EvaluationFrame& frame, std::int32_t index, char* word) {
  char argument[kTextBufferSize];
  CutArgument(frame, index, argument);
  std::memset(word, 0, kTextBufferSize);
  TrimWord(argument, word);
}

double EvaluateArgument(const EvaluationFrame& frame, std::int32_t index) {
  char argument[kTextBufferSize];
  CutArgument(frame, index, argument);
  return EvaluateIsolated(frame, argument);
}

void MovePastArgumentList(EvaluationFrame& frame) {
  frame.cursor += FindClosingParen(TextAtCursor(frame)) + 1;
}

// What the steps of one loop share. The calling EvaluationFrame does not change
// while its loop runs, so whether the loop variable is new to it is known
// once for all steps, and one child serves every step: each step starts it
// afresh, as a child of its own would start. The child reads the body where
// the loop keeps it.
struct Loop {
  Loop(const EvaluationFrame& parent, const char* variable, char* body)
      : parent(parent),
        variable(MakeNameKey(variable)),
        variable_is_new(LookUpVariable(parent, this->variable) == nullptr),
        child(ChildOf{parent}) {
    child.expression = body;
    child.length = static_cast<std::int32_t>(strnlen(body, kMaxTextLength));
  }

  const EvaluationFrame& parent;
  NameKey variable;
  bool variable_is_new;
  EvaluationFrame child;
};

// Evaluates the loop body once with the loop variable set to `value`.
// Returns false, after reporting the error, when the step fails.
[[gnu::always_inline]] inline bool RunLoopStep(Loop& loop, double value, double& result) {
  CountLoopStep(loop.parent);
  try {
    StartLoopStep(loop.child, loop.variable, loop.variable_is_new, value);
    loop.child.cursor = 0;
    result = ParseSum(loop.child);
    return true;
  } catch (const EvaluationError& error) {
    WriteErrorReport(loop.parent, error.message);
    return false;
  }
}

}  // namespace

double SetFunction(EvaluationFrame& frame) {
  char name[kTextBufferSize];
  CutFirstWord(frame, kSetName, name);
  double value = EvaluateArgument(frame, kSetExpression);
  SetVariable(frame, name, value);
  MovePastArgumentList(frame);
  return value;
}

double IntegralFunction(EvaluationFrame& frame) {
  char variable[kTextBufferSize];
  CutFirstWord(frame, kLoopVariable, variable);
  double a = EvaluateArgument(frame, kIntegralLower);
  double b = EvaluateArgument(frame, kIntegralUpper);
  char steps[kTextBufferSize];
  CutFirstWord(frame, kIntegralSteps, steps);
  std::int32_t n = ParseStepCount(steps);
  char body[kTextBufferSize];
  CutArgument(frame, kIntegralBody, body);

  double width = LeftNaNFirst(b - a, b);
  double h = width / static_cast<double>(n);
  Loop loop(frame, variable, body);
  double sum = 0.0;
  for (std::int32_t i = 0; i < n; ++i) {
    double offset = static_cast<double>(i) * h;
    double x = LeftNaNFirst(offset + a, offset);
    double f = 0.0;
    if (RunLoopStep(loop, x, f)) {
      double term = LeftNaNFirst(f * h, f);
      sum = LeftNaNFirst(term + sum, term);
    }
  }
  MovePastArgumentList(frame);
  return sum;
}

double SigmaFunction(EvaluationFrame& frame) {
  char variable[kTextBufferSize];
  CutFirstWord(frame, kLoopVariable, variable);
  std::int32_t first = TruncateToInt32(EvaluateArgument(frame, kSigmaFirst));
  std::int32_t last = TruncateToInt32(EvaluateArgument(frame, kSigmaLast));
  char body[kTextBufferSize];
  CutArgument(frame, kSigmaBody, body);

  Loop loop(frame, variable, body);
  double sum = 0.0;
  // A 64-bit counter lets the loop end after the largest 32-bit value.
  for (std::int64_t i = first; i <= last; ++i) {
    double f = 0.0;
    if (RunLoopStep(loop, static_cast<double>(i), f)) {
      sum = LeftNaNFirst(f + sum, f);
    }
  }
  MovePastArgumentList(frame);
  return sum;
}

}  // namespace calculator_core
