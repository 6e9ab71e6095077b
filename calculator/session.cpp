// The C++ facade: a Session owns one SessionCore and turns its outcomes into
// exceptions of the calculator namespace.

#include <utility>

#include "calculator/calculator.hpp"
#include "calculator/core.h"

namespace calculator {

namespace {

// Turns a failed outcome into the exception of this interface.
void ThrowUnlessValue(calculator_core::Outcome outcome, const char* message) {
  if (outcome == calculator_core::Outcome::kInterrupted) {
    throw Interrupted();
  }
  if (outcome == calculator_core::Outcome::kError) {
    throw Error(message);
  }
}

std::vector<std::string> Names(const char* const* names, int count) {
  return std::vector<std::string>(names, names + count);
}

}  // namespace

// Out of line, so that the type information of both lives in the library.
Error::~Error() = default;
Interrupted::Interrupted() : Error("Interrupted.") {}
Interrupted::~Interrupted() = default;

struct Session::State {
  State() {
    core.context.report = ForwardReport;
    core.context.report_context = this;
    core.context.progress = ForwardProgress;
    core.context.progress_context = this;
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

  calculator_core::SessionCore core;
  std::function<void(std::string_view)> report_handler;
  std::function<void()> progress_handler;
};

Session::Session() : state_(std::make_unique<State>()) {}
Session::~Session() = default;
Session::Session(Session&&) noexcept = default;
Session& Session::operator=(Session&&) noexcept = default;

double Session::evaluate(std::string_view text) {
  double value = 0.0;
  const char* message = nullptr;
  calculator_core::Outcome outcome =
      calculator_core::EvaluateText(state_->core, text.data(), text.size(), value, message);
  ThrowUnlessValue(outcome, message);
  return value;
}

std::string Session::answer(std::string_view line) {
  try {
    double value = evaluate(line);
    return "Result is " + format_number(value);
  } catch (const Interrupted&) {
    throw;  // an interrupted line has no answer
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
  state_->core.context.interrupt_requested.store(true, std::memory_order_relaxed);
}

void Session::set_variable(std::string_view name, double value) {
  const char* message = nullptr;
  calculator_core::Outcome outcome =
      calculator_core::AssignVariable(state_->core, name.data(), name.size(), value, message);
  ThrowUnlessValue(outcome, message);
}

std::optional<double> Session::variable(std::string_view name) const {
  double value = 0.0;
  if (!calculator_core::FindVariable(state_->core, name.data(), name.size(), value)) {
    return std::nullopt;
  }
  return value;
}

std::vector<std::string> Session::variable_names() const {
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < calculator_core::VariableCount(state_->core); ++i) {
    names.emplace_back(calculator_core::VariableName(state_->core, i));
  }
  return names;
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
  return Names(calculator_core::kConstantNames, calculator_core::kConstantCount);
}

std::vector<std::string> function_names() {
  return Names(calculator_core::kFunctionNames, calculator_core::kFunctionCount);
}

}  // namespace calculator
