// The entry points of a session, on which the C interface is written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "calculator/evaluator.h"

namespace calculator_core {

// One long-lived evaluator with its variables, as the C++ and the C
// interfaces present it: the root Calculator and the context its children
// share.
struct SessionCore {
  SessionCore() : root(&context) {}
  SessionCore(const SessionCore&) = delete;
  SessionCore& operator=(const SessionCore&) = delete;

  EvaluationContext context;
  Calculator root;
};

enum class Outcome { kValue, kError, kInterrupted };

// Starts the progress countdown afresh: every evaluation counts its own
// steps.
inline void RestartProgressCount(EvaluationContext& context) {
  context.steps_until_progress = context.steps_between_progress;
}

// Evaluates at most the first 249 characters of the NUL-terminated `text`.
// On kError, `message` is the error's constant text.
Outcome EvaluateText(SessionCore& session, const char* text, double& value, const char*& message);
// Assigns a variable of the root, as a top-level set does; on kError,
// `message` says why.
Outcome AssignVariable(SessionCore& session, const char* name, std::size_t length, double value,
                       const char*& message);
// The value of the root's variable `name`, if it has one.
bool FindVariable(const SessionCore& session, const char* name, std::size_t length, double& value);
// The root's variables, in the order first assigned.
std::int32_t VariableCount(const SessionCore& session);
const char* VariableName(const SessionCore& session, std::int32_t index);

}  // namespace calculator_core
