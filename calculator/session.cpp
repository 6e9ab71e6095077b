// The C++ facade: a Session owns one long-lived Calculator and the context
// that its children share, and turns the core's errors into exceptions of
// the calculator namespace.

#include <cstring>
#include <utility>

#include "calculator/calculator.hpp"
#include "calculator/core.h"

namespace calculator {

namespace {

constexpr const char* kInterruptedMessage = "Interrupted.";

// Copies at most 249 characters of `text`, up to a NUL, into `buffer`, a
// terminated text the core can read.
void CopyText(std::string_view text, char (&buffer)[calculator_core::kTextBufferSize]) {
  std::size_t length = text.size();
  if (length > static_cast<std::size_t>(calculator_core::kMaxTextLength)) {
    length = calculator_core::kMaxTextLength;
  }
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

std::vector<std::string> Names(const calculator_core::NameTable& table) {
  return std::vector<std::string>(table.names, table.names + table.count);
}

}  // namespace

Interrupted::Interrupted() : Error(kInterruptedMessage) {}

struct Session::State {
  State() : root(&context) {
    context.report = ForwardReport;
    context.report_context = this;
    context.progress = ForwardProgress;
    context.progress_context = this;
  }

  static void ForwardReport(void* state, const char* line) {
    auto& handler = static_cast<State*>(state)->report_handler;
    if (handler) {
      handler(line);
    }
  }

  static void ForwardProgress(void* state) {
    auto& handler = static_cast<State*>(state)->progress_handler;
    if (handler) {
      handler();
    }
  }

  calculator_core::EvaluationContext context;
  calculator_core::Calculator root;
  std::function<void(std::string_view)> report_handler;
  std::function<void()> progress_handler;
};

Session::Session() : state_(std::make_unique<State>()) {}
Session::~Session() = default;
Session::Session(Session&&) noexcept = default;
Session& Session::operator=(Session&&) noexcept = default;

double Session::evaluate(std::string_view text) {
  char buffer[calculator_core::kTextBufferSize];
  CopyText(text, buffer);
  state_->context.interrupt_requested.store(false, std::memory_order_relaxed);
  try {
    return calculator_core::Calculate(state_->root, buffer);
  } catch (const calculator_core::EvaluationError& error) {
    throw Error(error.message);
  } catch (const calculator_core::Interruption&) {
    throw Interrupted();
  }
}

std::string Session::answer(std::string_view line) {
  try {
    double value = evaluate(line);
    return "Result is " + format_number(value);
  } catch (const Error& error) {
    return std::string("Error : ") + error.what();
  }
}

void Session::on_report(std::function<void(std::string_view line)> handler) {
  state_->report_handler = std::move(handler);
}

void Session::on_progress(std::function<void()> handler) {
  state_->progress_handler = std::move(handler);
}

void Session::interrupt() noexcept {
  state_->context.interrupt_requested.store(true, std::memory_order_relaxed);
}

void Session::set_variable(std::string_view name, double value) {
  char buffer[calculator_core::kTextBufferSize];
  CopyText(name, buffer);
  try {
    calculator_core::SetVariable(state_->root, buffer, value);
  } catch (const calculator_core::EvaluationError& error) {
    throw Error(error.message);
  }
}

std::optional<double> Session::variable(std::string_view name) const {
  char buffer[calculator_core::kTextBufferSize];
  CopyText(name, buffer);
  if (!calculator_core::IsRegistered(buffer, state_->root.VariableTable)) {
    return std::nullopt;
  }
  return calculator_core::VariableValue(state_->root, buffer);
}

std::vector<std::string> Session::variable_names() const {
  return Names(state_->root.VariableTable);
}

std::string format_number(double value) {
  char text[calculator_core::kNumberTextSize];
  int length = calculator_core::FormatNumber(value, text);
  return std::string(text, static_cast<std::size_t>(length));
}

const char* version() {
  return CALCULATOR_VERSION_TEXT;
}

std::vector<std::string> constant_names() {
  calculator_core::Calculator calculator;
  return Names(calculator.ConstTable);
}

std::vector<std::string> function_names() {
  calculator_core::Calculator calculator;
  return Names(calculator.FunctionTable);
}

}  // namespace calculator
