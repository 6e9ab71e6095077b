// The C interface, the only one the library exports. A session is the root
// EvaluationFrame of its evaluations with the context they share, the message of
// its last failure, and whether it is evaluating, so that its own handlers
// cannot pull the evaluation's ground away. No exception leaves: evaluation
// errors and interruptions become statuses here, and so does memory
// exhaustion, the only other exception below this layer.

#include <cmath>
#include <new>

#include "calculator/answer_line.h"
#include "calculator/builtins.h"
#include "calculator/calculator.h"
#include "calculator/characters.h"
#include "calculator/evaluation_frame.h"
#include "calculator/grammar.h"
#include "calculator/math/binary64.h"
#include "calculator/messages.h"
#include "calculator/number_format.h"
#include "calculator/variable_scopes.h"

namespace core = calculator_core;

struct calculator_session {
  calculator_session() : root(&context) {}
  calculator_session(const calculator_session&) = delete;
  calculator_session& operator=(const calculator_session&) = delete;

  // What every evaluation of the session shares, its children's included.
  core::EvaluationContext context;
  // The long-lived evaluator: the variables the session keeps.
  core::EvaluationFrame root;
  const char* message = "";
  // Set while an evaluation runs; its handlers may not start another.
  bool evaluating = false;
  // calculator_free was called from a handler: the evaluation stops and
  // the session goes when it returns.
  bool release_when_done = false;
  // Significant digits of the answers' numbers; CALCULATOR_SHORTEST_DIGITS
  // for the shortest text that reads back.
  int digits = CALCULATOR_DEFAULT_DIGITS;
};

namespace {

// The length of `name` when it may be a name; one more than the longest
// name for any longer text, which is then no name rather than one cut short.
std::size_t NameLength(const char* name) {
  std::size_t length = 0;
  while (length <= core::kLongestName && name[length] != '\0') {
    ++length;
  }
  return length;
}

// snprintf's contract: at most size - 1 characters of `text` and a NUL
// (nothing when size is 0); returns `length`, the whole text's.
std::size_t CopyAsSnprintf(const char* text, std::size_t length, char* buffer, std::size_t size) {
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
  return Fail(session, CALCULATOR_BUSY, core::messages::kBusy);
}

// Starts the progress countdown afresh: every evaluation counts its own
// steps.
void RestartProgressCount(core::EvaluationContext& context) {
  context.steps_until_progress = context.steps_between_progress;
}

// Runs one evaluation of the session with the guard that its handlers meet.
// Returns CALCULATOR_INTERRUPTED, with the session gone, when a handler
// freed it.
int GuardedEvaluation(calculator_session* session, const char* text, double& value) {
  const char* message = nullptr;
  int status = CALCULATOR_OK;
  session->context.interrupt_requested.store(false, std::memory_order_relaxed);
  RestartProgressCount(session->context);
  session->evaluating = true;
  try {
    value = core::Calculate(session->root, text);
  } catch (const core::EvaluationError& error) {
    status = CALCULATOR_ERROR;
    message = error.message;
  } catch (const core::Interruption&) {
    status = CALCULATOR_INTERRUPTED;
    message = core::messages::kInterrupted;
  } catch (const std::bad_alloc&) {
    status = CALCULATOR_NO_MEMORY;
    message = core::messages::kOutOfMemory;
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
  return digits == CALCULATOR_SHORTEST_DIGITS || (digits >= 1 && digits <= CALCULATOR_MAX_DIGITS);
}

// Writes the answer line of a finished evaluation into `line`, which has
// room for core::kAnswerLineSize bytes, and returns its length.
std::size_t AnswerLine(const calculator_session* session, int status, double value, char* line) {
  return status == CALCULATOR_OK ? core::WriteResultLine(value, session->digits, line)
                                 : core::WriteErrorLine(session->message, line);
}

// The answer line cut to a buffer smaller than a whole line, as snprintf
// would. Out of line, so that the common case keeps no line on its stack.
[[gnu::noinline]] int AnswerIntoShortBuffer(const calculator_session* session, int status,
                                            double value, char* buffer, std::size_t size) {
  char line[core::kAnswerLineSize];
  const std::size_t length = AnswerLine(session, status, value, line);
  return static_cast<int>(CopyAsSnprintf(line, length, buffer, size));
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
    session->context.interrupt_requested.store(true, std::memory_order_relaxed);
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
    CopyAsSnprintf("", 0, buffer, size);
    return -status;
  }
  if (size >= core::kAnswerLineSize) {
    // Room enough: the line is written in place.
    return static_cast<int>(AnswerLine(session, status, value, buffer));
  }
  return AnswerIntoShortBuffer(session, status, value, buffer, size);
}

int calculator_set_digits(calculator_session* session, int digits) {
  if (session->evaluating) {
    return RefuseWhileEvaluating(session);
  }
  if (!ValidDigits(digits)) {
    return Fail(session, CALCULATOR_INVALID_DIGITS, core::messages::kInvalidDigits);
  }
  session->digits = digits;
  return CALCULATOR_OK;
}

int calculator_set_report_handler(calculator_session* session, calculator_report_handler handler,
                                  void* context) {
  if (session->evaluating) {
    return RefuseWhileEvaluating(session);
  }
  session->context.report = handler;
  session->context.report_context = context;
  return CALCULATOR_OK;
}

int calculator_set_progress_handler(calculator_session* session, unsigned every_steps,
                                    calculator_progress_handler handler, void* context) {
  if (session->evaluating) {
    return RefuseWhileEvaluating(session);
  }
  core::EvaluationContext& evaluation = session->context;
  evaluation.progress = handler;
  evaluation.progress_context = context;
  evaluation.steps_between_progress = every_steps == 0 ? 1 : every_steps;
  RestartProgressCount(evaluation);
  return CALCULATOR_OK;
}

void calculator_interrupt(calculator_session* session) {
  session->context.interrupt_requested.store(true, std::memory_order_relaxed);
}

int calculator_set_variable(calculator_session* session, const char* name, double value) {
  if (session->evaluating) {
    return RefuseWhileEvaluating(session);
  }
  const std::size_t length = NameLength(name);
  if (!core::IsName(name, length)) {
    return Fail(session, CALCULATOR_INVALID_NAME, core::messages::kInvalidName);
  }
  // Every NaN an evaluation makes is quiet; a signalling one from outside
  // is stored as the arithmetic would leave it, sign and payload kept.
  if (std::isnan(value)) {
    value = core::math::Quieted(value);
  }
  try {
    core::SetVariable(session->root, name, value);
  } catch (const core::EvaluationError& error) {
    return Fail(session, CALCULATOR_ERROR, error.message);
  } catch (const std::bad_alloc&) {
    return Fail(session, CALCULATOR_NO_MEMORY, core::messages::kOutOfMemory);
  }
  return CALCULATOR_OK;
}

int calculator_get_variable(const calculator_session* session, const char* name, double* value) {
  // Any text of a name's length is looked up as it is: a `set` in an
  // expression may store a name that the interface would not take, and every
  // name that calculator_variable_name lists must be found. A longer text is
  // no variable's name, and is never cut to one.
  if (NameLength(name) > core::kLongestName) {
    return CALCULATOR_NOT_FOUND;
  }
  const core::Variable* variable = core::LookUpVariable(session->root, core::MakeNameKey(name));
  if (variable == nullptr) {
    return CALCULATOR_NOT_FOUND;
  }
  *value = variable->value;
  return CALCULATOR_OK;
}

size_t calculator_variable_count(const calculator_session* session) {
  return static_cast<size_t>(session->root.variables.own_count);
}

const char* calculator_variable_name(const calculator_session* session, size_t index) {
  if (index >= calculator_variable_count(session)) {
    return nullptr;
  }
  return session->root.variables.entries[index].name;
}

int calculator_is_name(const char* name, size_t length) {
  return core::IsName(name, length) ? 1 : 0;
}

const char* calculator_constant_name(size_t index) {
  return core::ConstantName(index);
}

const char* calculator_function_name(size_t index) {
  return core::FunctionName(index);
}

size_t calculator_format_number(double value, char* buffer, size_t size) {
  return calculator_format_number_digits(value, CALCULATOR_DEFAULT_DIGITS, buffer, size);
}

size_t calculator_format_number_digits(double value, int digits, char* buffer, size_t size) {
  if (!ValidDigits(digits)) {
    return CopyAsSnprintf("", 0, buffer, size);
  }
  char text[core::kNumberTextSize];
  int length = core::FormatNumberDigits(value, digits, text);
  return CopyAsSnprintf(text, static_cast<std::size_t>(length), buffer, size);
}

const char* calculator_prompt(void) {
  return core::kPrompt;
}

const char* calculator_interrupted_line(void) {
  return core::kInterruptedLine.data();
}

const char* calculator_status_message(int status) {
  switch (status) {
    case CALCULATOR_INTERRUPTED:
      return core::messages::kInterrupted;
    case CALCULATOR_BUSY:
      return core::messages::kBusy;
    case CALCULATOR_INVALID_NAME:
      return core::messages::kInvalidName;
    case CALCULATOR_NO_MEMORY:
      return core::messages::kOutOfMemory;
    case CALCULATOR_INVALID_DIGITS:
      return core::messages::kInvalidDigits;
    default:
      return nullptr;
  }
}

size_t calculator_answer_size(void) {
  return core::kAnswerLineSize;
}

const char* calculator_version(void) {
  return CALCULATOR_VERSION_STRING;
}

int calculator_version_number(void) {
  return CALCULATOR_VERSION_NUMBER;
}

}  // extern "C"
