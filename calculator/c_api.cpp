// The C interface, the only one the library exports: a session owns one
// SessionCore, keeps the message of its last failure, and knows whether it
// is evaluating, so that its own handlers cannot pull the evaluation's
// ground away. Only memory exhaustion can throw below this layer; every
// entry point that can meet it catches it.

#include <cstring>
#include <new>

#include "calculator/builtins.h"
#include "calculator/calculator.h"
#include "calculator/characters.h"
#include "calculator/messages.h"
#include "calculator/number_format.h"
#include "calculator/session_core.h"

struct calculator_session {
  calculator_core::SessionCore core;
  const char* message = "";
  // Set while an evaluation runs; its handlers may not start another.
  bool evaluating = false;
  // calculator_free was called from a handler: the evaluation stops and
  // the session goes when it returns.
  bool release_when_done = false;
  // Significant digits of the answers' numbers; kShortestDigits for the
  // shortest text that reads back.
  int digits = calculator_core::kDefaultDigits;
};

namespace {

std::size_t TextLength(const char* text) {
  std::size_t length = 0;
  while (length < calculator_core::kMaxTextLength && text[length] != '\0') {
    ++length;
  }
  return length;
}

// The length of `name` when it may be a name; one more than the longest
// name for any longer text, which is then no name rather than one cut short.
std::size_t NameLength(const char* name) {
  std::size_t length = 0;
  while (length <= calculator_core::kLongestName && name[length] != '\0') {
    ++length;
  }
  return length;
}

// snprintf's contract, for a text already known to fit in an int.
std::size_t CopyBounded(const char* text, std::size_t length, char* buffer, std::size_t size) {
  if (size > 0) {
    std::size_t kept = length < size ? length : size - 1;
    for (std::size_t i = 0; i < kept; ++i) {
      buffer[i] = text[i];
    }
    buffer[kept] = '\0';
  }
  return length;
}

int Fail(calculator_session* session, int status, const char* message) {
  session->message = message;
  return status;
}

int RefuseWhileEvaluating(calculator_session* session) {
  return Fail(session, CALCULATOR_BUSY, calculator_core::messages::kBusy);
}

// Runs one evaluation of the session with the guard that its handlers meet.
// Returns CALCULATOR_INTERRUPTED, with the session gone, when a handler
// freed it.
int GuardedEvaluation(calculator_session* session, const char* text, double& value) {
  const char* message = nullptr;
  int status = CALCULATOR_OK;
  session->evaluating = true;
  try {
    switch (calculator_core::EvaluateText(session->core, text, value, message)) {
      case calculator_core::Outcome::kValue:
        break;
      case calculator_core::Outcome::kError:
        status = CALCULATOR_ERROR;
        break;
      case calculator_core::Outcome::kInterrupted:
        status = CALCULATOR_INTERRUPTED;
        break;
    }
  } catch (const std::bad_alloc&) {
    status = CALCULATOR_NO_MEMORY;
    message = calculator_core::messages::kOutOfMemory;
  }
  session->evaluating = false;
  if (session->release_when_done) {
    delete session;
    return CALCULATOR_INTERRUPTED;
  }
  if (status != CALCULATOR_OK) {
    session->message = message;
  }
  return status;
}

bool ValidDigits(int digits) {
  return digits == calculator_core::kShortestDigits ||
         (digits >= 1 && digits <= calculator_core::kMostDigits);
}

constexpr char kResultPrefix[] = "Result is ";
constexpr char kErrorPrefix[] = "Error : ";
constexpr std::size_t kResultPrefixLength = sizeof kResultPrefix - 1;
constexpr std::size_t kErrorPrefixLength = sizeof kErrorPrefix - 1;
// Room for the longest answer line: messages are constant texts far
// shorter than this.
constexpr std::size_t kAnswerLineSize = CALCULATOR_ANSWER_SIZE;
static_assert(kResultPrefixLength + calculator_core::kNumberTextSize <= kAnswerLineSize);

// Writes the answer line of a finished evaluation into `line`, which has
// room for kAnswerLineSize bytes, and returns its length.
std::size_t AnswerLine(const calculator_session* session, int status, double value, char* line) {
  if (status == CALCULATOR_OK) {
    std::memcpy(line, kResultPrefix, kResultPrefixLength);
    return kResultPrefixLength + static_cast<std::size_t>(calculator_core::FormatNumberDigits(
                                     value, session->digits, line + kResultPrefixLength));
  }
  std::memcpy(line, kErrorPrefix, kErrorPrefixLength);
  const std::size_t length =
      CopyBounded(session->message, TextLength(session->message), line + kErrorPrefixLength,
                  kAnswerLineSize - kErrorPrefixLength);
  return kErrorPrefixLength + length;
}

}  // namespace

extern "C" {

calculator_session* calculator_new(void) {
  return new (std::nothrow) calculator_session;
}

void calculator_free(calculator_session* session) {
  if (session == nullptr) {
    return;
  }
  if (session->evaluating) {
    session->release_when_done = true;
    session->core.context.interrupt_requested.store(true, std::memory_order_relaxed);
    return;
  }
  delete session;
}

int calculator_evaluate(calculator_session* session, const char* text, double* value) {
  if (session->evaluating) {
    return RefuseWhileEvaluating(session);
  }
  double result = 0.0;
  int status = GuardedEvaluation(session, text, result);
  if (status == CALCULATOR_OK) {
    *value = result;
  }
  return status;
}

const char* calculator_error_message(const calculator_session* session) {
  return session->message;
}

int calculator_answer(calculator_session* session, const char* text, char* buffer, size_t size) {
  double value = 0.0;
  int status = session->evaluating ? RefuseWhileEvaluating(session)
                                   : GuardedEvaluation(session, text, value);
  if (status != CALCULATOR_OK && status != CALCULATOR_ERROR) {
    CopyBounded("", 0, buffer, size);
    return -status;
  }
  if (size >= kAnswerLineSize) {
    // Room enough: the line is written in place.
    return static_cast<int>(AnswerLine(session, status, value, buffer));
  }
  char line[kAnswerLineSize];
  const std::size_t length = AnswerLine(session, status, value, line);
  return static_cast<int>(CopyBounded(line, length, buffer, size));
}

int calculator_set_digits(calculator_session* session, int digits) {
  if (session->evaluating) {
    return RefuseWhileEvaluating(session);
  }
  if (!ValidDigits(digits)) {
    return Fail(session, CALCULATOR_INVALID_DIGITS, calculator_core::messages::kInvalidDigits);
  }
  session->digits = digits;
  return CALCULATOR_OK;
}

int calculator_set_report_handler(calculator_session* session, calculator_report_handler handler,
                                  void* context) {
  if (session->evaluating) {
    return RefuseWhileEvaluating(session);
  }
  session->core.context.report = handler;
  session->core.context.report_context = context;
  return CALCULATOR_OK;
}

int calculator_set_progress_handler(calculator_session* session, unsigned every_steps,
                                    calculator_progress_handler handler, void* context) {
  if (session->evaluating) {
    return RefuseWhileEvaluating(session);
  }
  calculator_core::EvaluationContext& evaluation = session->core.context;
  evaluation.progress = handler;
  evaluation.progress_context = context;
  evaluation.steps_between_progress = every_steps == 0 ? 1 : every_steps;
  calculator_core::RestartProgressCount(evaluation);
  return CALCULATOR_OK;
}

void calculator_interrupt(calculator_session* session) {
  session->core.context.interrupt_requested.store(true, std::memory_order_relaxed);
}

int calculator_set_variable(calculator_session* session, const char* name, double value) {
  if (session->evaluating) {
    return RefuseWhileEvaluating(session);
  }
  const std::size_t length = NameLength(name);
  if (!calculator_core::IsName(name, length)) {
    return Fail(session, CALCULATOR_INVALID_NAME, calculator_core::messages::kInvalidName);
  }
  const char* message = nullptr;
  try {
    if (calculator_core::AssignVariable(session->core, name, length, value, message) !=
        calculator_core::Outcome::kValue) {
      return Fail(session, CALCULATOR_ERROR, message);
    }
  } catch (const std::bad_alloc&) {
    return Fail(session, CALCULATOR_NO_MEMORY, calculator_core::messages::kOutOfMemory);
  }
  return CALCULATOR_OK;
}

int calculator_get_variable(const calculator_session* session, const char* name, double* value) {
  double found = 0.0;
  const std::size_t length = NameLength(name);
  // Any text of a name's length is looked up as it is: a `set` in an
  // expression may store a name that the interface would not take, and every
  // name that calculator_variable_name lists must be found. A longer text is
  // no variable's name, and is never cut to one.
  if (length > calculator_core::kLongestName ||
      !calculator_core::FindVariable(session->core, name, length, found)) {
    return CALCULATOR_NOT_FOUND;
  }
  *value = found;
  return CALCULATOR_OK;
}

size_t calculator_variable_count(const calculator_session* session) {
  return static_cast<size_t>(calculator_core::VariableCount(session->core));
}

const char* calculator_variable_name(const calculator_session* session, size_t index) {
  if (index >= calculator_variable_count(session)) {
    return nullptr;
  }
  return calculator_core::VariableName(session->core, static_cast<std::int32_t>(index));
}

int calculator_is_name(const char* name, size_t length) {
  return calculator_core::IsName(name, length) ? 1 : 0;
}

const char* calculator_constant_name(size_t index) {
  return calculator_core::ConstantName(index);
}

const char* calculator_function_name(size_t index) {
  return calculator_core::FunctionName(index);
}

size_t calculator_format_number(double value, char* buffer, size_t size) {
  return calculator_format_number_digits(value, calculator_core::kDefaultDigits, buffer, size);
}

size_t calculator_format_number_digits(double value, int digits, char* buffer, size_t size) {
  if (!ValidDigits(digits)) {
    return CopyBounded("", 0, buffer, size);
  }
  char text[calculator_core::kNumberTextSize];
  int length = calculator_core::FormatNumberDigits(value, digits, text);
  return CopyBounded(text, static_cast<std::size_t>(length), buffer, size);
}

const char* calculator_version(void) {
  return CALCULATOR_VERSION_STRING;
}

int calculator_version_number(void) {
  return CALCULATOR_VERSION_NUMBER;
}

}  // extern "C"
