// Nested evaluations: set, integral and sigma, which take their argument list
// apart as text and evaluate the pieces in child Calculators.
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
const char* TextAtCursor(const Calculator& calculator) {
  return calculator.expression + calculator.cursor;
}

// Hands the two-line report of a failed nested evaluation to the
// calculator's report sink.
void WriteErrorReport(const Calculator& calculator, const char* message) {
  const EvaluationContext* context = calculator.context;
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
double EvaluateIsolated(const Calculator& parent, const char* text) {
  double result = 0.0;
  Calculator child(ChildOf{parent});
  try {
    result = Calculate(child, text);
  } catch (const EvaluationError& error) {
    WriteErrorReport(parent, error.message);
    result = 0.0;
  }
  return result;
}

// Cuts argument `index` into `out`, a fresh zero-filled buffer.
void CutArgument(const Calculator& calculator, std::int32_t index, char* out) {
  std::memset(out, 0, kTextBufferSize);
  SplitArguments(TextAtCursor(calculator), out, index);
}

// Cuts argument `index` and keeps its first word in `word`.
void CutFirstWord(const Calculator& calculator, std::int32_t index, char* word) {
  char argument[kTextBufferSize];
  CutArgument(calculator, index, argument);
  std::memset(word, 0, kTextBufferSize);
  TrimWord(argument, word);
}

double EvaluateArgument(const Calculator& calculator, std::int32_t index) {
  char argument[kTextBufferSize];
  CutArgument(calculator, index, argument);
  return EvaluateIsolated(calculator, argument);
}

void MovePastArgumentList(Calculator& calculator) {
  calculator.cursor += FindClosingParen(TextAtCursor(calculator)) + 1;
}

// What the steps of one loop share. The calling Calculator does not change
// while its loop runs, so whether the loop variable is new to it is known
// once for all steps, and one child serves every step: each step starts it
// afresh, as a child of its own would start. The child reads the body where
// the loop keeps it.
struct Loop {
  Loop(const Calculator& parent, const char* variable, char* body)
      : parent(parent),
        variable(MakeNameKey(variable)),
        variable_is_new(LookUpVariable(parent, this->variable) == nullptr),
        child(ChildOf{parent}) {
    child.expression = body;
    child.length = static_cast<std::int32_t>(strnlen(body, kMaxTextLength));
  }

  const Calculator& parent;
  NameKey variable;
  bool variable_is_new;
  Calculator child;
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

double SetFunction(Calculator& calculator) {
  char name[kTextBufferSize];
  CutFirstWord(calculator, kSetName, name);
  double value = EvaluateArgument(calculator, kSetExpression);
  SetVariable(calculator, name, value);
  MovePastArgumentList(calculator);
  return value;
}

double IntegralFunction(Calculator& calculator) {
  char variable[kTextBufferSize];
  CutFirstWord(calculator, kLoopVariable, variable);
  double a = EvaluateArgument(calculator, kIntegralLower);
  double b = EvaluateArgument(calculator, kIntegralUpper);
  char steps[kTextBufferSize];
  CutFirstWord(calculator, kIntegralSteps, steps);
  std::int32_t n = ParseStepCount(steps);
  char body[kTextBufferSize];
  CutArgument(calculator, kIntegralBody, body);

  double width = LeftNaNFirst(b - a, b);
  double h = width / static_cast<double>(n);
  Loop loop(calculator, variable, body);
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
  MovePastArgumentList(calculator);
  return sum;
}

double SigmaFunction(Calculator& calculator) {
  char variable[kTextBufferSize];
  CutFirstWord(calculator, kLoopVariable, variable);
  std::int32_t first = TruncateToInt32(EvaluateArgument(calculator, kSigmaFirst));
  std::int32_t last = TruncateToInt32(EvaluateArgument(calculator, kSigmaLast));
  char body[kTextBufferSize];
  CutArgument(calculator, kSigmaBody, body);

  Loop loop(calculator, variable, body);
  double sum = 0.0;
  // A 64-bit counter lets the loop end after the largest 32-bit value.
  for (std::int64_t i = first; i <= last; ++i) {
    double f = 0.0;
    if (RunLoopStep(loop, static_cast<double>(i), f)) {
      sum = LeftNaNFirst(f + sum, f);
    }
  }
  MovePastArgumentList(calculator);
  return sum;
}

}  // namespace calculator_core
