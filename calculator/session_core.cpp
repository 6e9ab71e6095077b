// The entry points of a session, shared by the C++ and the C interfaces:
// texts of any length come in, constant messages go out, and no exception
// of the core leaves.

#include "calculator/session_core.h"

#include <cstring>

#include "calculator/grammar.h"
#include "calculator/messages.h"
#include "calculator/variable_scopes.h"

namespace calculator_core {

namespace {

// A terminated copy of at most 249 characters of `text`, up to a NUL.
struct BoundedText {
  BoundedText(const char* text, std::size_t length) {
    if (length > static_cast<std::size_t>(kMaxTextLength)) {
      length = kMaxTextLength;
    }
    if (length > 0) {  // an empty text may come as a null pointer
      std::memcpy(chars, text, length);
    }
    chars[length] = '\0';
  }
  char chars[kTextBufferSize];
};

}  // namespace

Outcome EvaluateText(SessionCore& session, const char* text, double& value, const char*& message) {
  session.context.interrupt_requested.store(false, std::memory_order_relaxed);
  RestartProgressCount(session.context);
  try {
    value = Calculate(session.root, text);  // which copies at most 249 characters
    return Outcome::kValue;
  } catch (const EvaluationError& error) {
    message = error.message;
    return Outcome::kError;
  } catch (const Interruption&) {
    message = messages::kInterrupted;
    return Outcome::kInterrupted;
  }
}

Outcome AssignVariable(SessionCore& session, const char* name, std::size_t length, double value,
                       const char*& message) {
  BoundedText bounded(name, length);
  try {
    SetVariable(session.root, bounded.chars, value);
    return Outcome::kValue;
  } catch (const EvaluationError& error) {
    message = error.message;
    return Outcome::kError;
  }
}

bool FindVariable(const SessionCore& session, const char* name, std::size_t length, double& value) {
  BoundedText bounded(name, length);
  const Variable* variable = LookUpVariable(session.root, MakeNameKey(bounded.chars));
  if (variable == nullptr) {
    return false;
  }
  value = variable->value;
  return true;
}

std::int32_t VariableCount(const SessionCore& session) {
  return session.root.variables.own_count;
}

const char* VariableName(const SessionCore& session, std::int32_t index) {
  return session.root.variables.entries[index].name;
}

}  // namespace calculator_core
