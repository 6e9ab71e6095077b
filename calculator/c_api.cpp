// The C interface: a calculator handle owns one SessionCore and keeps the
// message of its last failure. Only memory exhaustion can throw below this
// layer; every entry point that can meet it catches it.
//
// This file cannot include calculator.hpp: the handle type `calculator`
// would clash with that header's namespace.

#include <cstdio>
#include <new>

#include "calculator/calculator.h"
#include "calculator/core.h"

namespace {

constexpr const char* kOutOfMemory = "Out of memory.";

std::size_t TextLength(const char* text) {
  std::size_t length = 0;
  while (length < calculator_core::kMaxTextLength && text[length] != '\0') {
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

int StatusOf(calculator_core::Outcome outcome) {
  switch (outcome) {
    case calculator_core::Outcome::kValue:
      return CALCULATOR_OK;
    case calculator_core::Outcome::kInterrupted:
      return CALCULATOR_INTERRUPTED;
    case calculator_core::Outcome::kError:
      break;
  }
  return CALCULATOR_ERROR;
}

}  // namespace

struct calculator {
  calculator_core::SessionCore core;
  const char* message = "";
};

extern "C" {

calculator* calculator_new(void) {
  try {
    return new calculator;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void calculator_free(calculator* session) {
  delete session;
}

int calculator_evaluate(calculator* session, const char* text, double* value) {
  double result = 0.0;
  const char* message = nullptr;
  calculator_core::Outcome outcome;
  try {
    outcome = calculator_core::EvaluateText(session->core, text, TextLength(text), result, message);
  } catch (const std::bad_alloc&) {
    outcome = calculator_core::Outcome::kError;
    message = kOutOfMemory;
  }
  if (outcome == calculator_core::Outcome::kValue) {
    *value = result;
  } else {
    session->message = message;
  }
  return StatusOf(outcome);
}

const char* calculator_error_message(const calculator* session) {
  return session->message;
}

int calculator_answer(calculator* session, const char* text, char* buffer, size_t size) {
  double value = 0.0;
  int status = calculator_evaluate(session, text, &value);
  if (status == CALCULATOR_INTERRUPTED) {
    CopyBounded("", 0, buffer, size);
    return -1;
  }
  char line[calculator_core::kNumberTextSize + 256];
  int length;
  if (status == CALCULATOR_OK) {
    char number[calculator_core::kNumberTextSize];
    calculator_core::FormatNumber(value, number);
    length = std::snprintf(line, sizeof line, "Result is %s", number);
  } else {
    length = std::snprintf(line, sizeof line, "Error : %s", session->message);
  }
  if (length < 0) {
    length = 0;
  } else if (static_cast<std::size_t>(length) >= sizeof line) {
    length = static_cast<int>(sizeof line) - 1;
  }
  return static_cast<int>(
      CopyBounded(line, static_cast<std::size_t>(length), buffer, static_cast<std::size_t>(size)));
}

void calculator_set_report_handler(calculator* session, calculator_report_handler handler,
                                   void* context) {
  session->core.context.report = handler;
  session->core.context.report_context = context;
}

void calculator_set_progress_handler(calculator* session, calculator_progress_handler handler,
                                     void* context) {
  session->core.context.progress = handler;
  session->core.context.progress_context = context;
}

void calculator_interrupt(calculator* session) {
  session->core.context.interrupt_requested.store(true, std::memory_order_relaxed);
}

int calculator_set_variable(calculator* session, const char* name, double value) {
  const char* message = nullptr;
  calculator_core::Outcome outcome;
  try {
    outcome =
        calculator_core::AssignVariable(session->core, name, TextLength(name), value, message);
  } catch (const std::bad_alloc&) {
    outcome = calculator_core::Outcome::kError;
    message = kOutOfMemory;
  }
  if (outcome != calculator_core::Outcome::kValue) {
    session->message = message;
  }
  return StatusOf(outcome);
}

int calculator_get_variable(const calculator* session, const char* name, double* value) {
  double found = 0.0;
  if (!calculator_core::FindVariable(session->core, name, TextLength(name), found)) {
    return CALCULATOR_NOT_FOUND;
  }
  *value = found;
  return CALCULATOR_OK;
}

size_t calculator_variable_count(const calculator* session) {
  return static_cast<size_t>(calculator_core::VariableCount(session->core));
}

const char* calculator_variable_name(const calculator* session, size_t index) {
  if (index >= calculator_variable_count(session)) {
    return nullptr;
  }
  return calculator_core::VariableName(session->core, static_cast<std::int32_t>(index));
}

size_t calculator_format_number(double value, char* buffer, size_t size) {
  char text[calculator_core::kNumberTextSize];
  int length = calculator_core::FormatNumber(value, text);
  return CopyBounded(text, static_cast<std::size_t>(length), buffer, size);
}

const char* calculator_version(void) {
  return CALCULATOR_VERSION_TEXT;
}

}  // extern "C"
