// The calculator's evaluator for C++ programs: a header-only layer over the
// C interface of <calculator/calculator.h>, so that the library itself
// exports nothing but C functions.
//
//   calculator::Session session;
//   double value = session.evaluate("2*sigma(i,1,3,i)+1");  // 13
//   std::string line = session.answer("1/0");  // "Error : Can't divide by 0."
//
// A Session is one evaluator with its variables: what a `set` assigns at the
// top level of one evaluation is seen by every later one. Errors inside the
// nested evaluations of set, integral and sigma do not end the evaluation;
// each is reported as two lines to the session's report handler.
//
// Threads: a Session is used by one thread at a time; Sessions share no
// state, so different Sessions may run on different threads at once.
// interrupt() is the exception: any thread, or a signal handler, may call it.
//
// Handlers run inside evaluate() and answer(). An exception thrown by a
// handler stops the evaluation and leaves evaluate() or answer() as it is.
// From a handler, the calls that would change the session (evaluate,
// answer, set_variable, on_report, on_progress) throw Error; a Session must
// not be destroyed or assigned from its own handler.
#pragma once

#include <cstddef>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "calculator/calculator.h"

namespace calculator {

// An evaluation error; what() is the message that the console prints after
// "Error : ".
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The evaluation was abandoned at a loop step because interrupt() was
// called or a progress handler asked to stop; what() is "Interrupted.".
class Interrupted : public Error {
 public:
  Interrupted() : Error(calculator_status_message(CALCULATOR_INTERRUPTED)) {}
};

namespace detail {

// A NUL-terminated copy of what the C interface reads of a text: at most
// its first CALCULATOR_MAX_TEXT_LENGTH characters, up to a NUL.
class BoundedText {
 public:
  explicit BoundedText(std::string_view text) {
    std::size_t length =
        text.size() < CALCULATOR_MAX_TEXT_LENGTH ? text.size() : CALCULATOR_MAX_TEXT_LENGTH;
    if (length > 0) {  // an empty view may hold a null pointer
      std::memcpy(chars_, text.data(), length);
    }
    chars_[length] = '\0';
  }
  const char* c_str() const { return chars_; }

 private:
  char chars_[CALCULATOR_MAX_TEXT_LENGTH + 1];
};

// The names a C function lists by index, up to its first NULL.
inline std::vector<std::string> ListedNames(const char* (*name_at)(std::size_t)) {
  std::vector<std::string> names;
  for (std::size_t i = 0; const char* name = name_at(i); ++i) {
    names.emplace_back(name);
  }
  return names;
}

}  // namespace detail

inline bool is_name(std::string_view text);

class Session {
 public:
  Session() : handlers_(std::make_unique<Handlers>()), handle_(calculator_new()) {
    if (!handle_) {
      throw std::bad_alloc();
    }
    handlers_->session = handle_.get();
  }
  Session(Session&&) noexcept = default;
  Session& operator=(Session&&) noexcept = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The value of the longest sum at the start of `text`; only its first
  // CALCULATOR_MAX_TEXT_LENGTH characters, up to a NUL, are read. Throws
  // Error, or Interrupted (std::bad_alloc when memory runs out).
  double evaluate(std::string_view text) {
    detail::BoundedText bounded(text);
    double value = 0.0;
    ThrowUnlessOk(calculator_evaluate(handle_.get(), bounded.c_str(), &value));
    return value;
  }

  // The console's answer line for `line`, without a newline: "Result is "
  // and the value, or "Error : " and the message. Throws Interrupted when
  // the evaluation was interrupted, as evaluate() does.
  std::string answer(std::string_view line) {
    char text[CALCULATOR_ANSWER_SIZE];
    return std::string(answer(line, text));
  }
  // The same written into `buffer`, of CALCULATOR_ANSWER_SIZE characters,
  // which the returned view shows: no allocation, for a loop over many
  // lines. Since 2.1.
  std::string_view answer(std::string_view line, char (&buffer)[CALCULATOR_ANSWER_SIZE]) {
    detail::BoundedText bounded(line);
    int length = calculator_answer(handle_.get(), bounded.c_str(), buffer, sizeof buffer);
    if (length < 0) {
      ThrowUnlessOk(-length);
    }
    RethrowHandlerFailure();
    return std::string_view(buffer, static_cast<std::size_t>(length) < sizeof buffer
                                        ? static_cast<std::size_t>(length)
                                        : sizeof buffer - 1);
  }

  // The significant digits of the numbers in answer(): 1 to
  // CALCULATOR_MAX_DIGITS, or CALCULATOR_SHORTEST_DIGITS for the shortest
  // text that reads back as the same double; CALCULATOR_DEFAULT_DIGITS
  // until set. Throws Error for any other count. Since 2.1.
  void set_digits(int digits) { ThrowUnlessOk(calculator_set_digits(handle_.get(), digits)); }

  // Receives, one line at a time and without newlines, the two report lines
  // of every failed nested evaluation of this session. Without a handler,
  // reports are discarded.
  void on_report(std::function<void(std::string_view line)> handler) {
    ThrowUnlessOk(calculator_set_report_handler(handle_.get(), handler ? ForwardReport : nullptr,
                                                handlers_.get()));
    handlers_->report = std::move(handler);
  }
  // Called every few thousand loop steps while an evaluation runs, on the
  // evaluating thread: room for a long evaluation to show progress, flush
  // output or call interrupt().
  void on_progress(std::function<void()> handler) {
    if (!handler) {
      on_progress(0, nullptr);
      return;
    }
    on_progress(kDefaultProgressSteps, [handler = std::move(handler)] {
      handler();
      return false;
    });
  }
  // Called every `every_steps` loop steps; returning true stops the
  // evaluation, which then throws Interrupted.
  void on_progress(unsigned every_steps, std::function<bool()> handler) {
    ThrowUnlessOk(calculator_set_progress_handler(
        handle_.get(), every_steps, handler ? ForwardProgress : nullptr, handlers_.get()));
    handlers_->progress = std::move(handler);
  }
  // Asks the evaluation that runs now to stop: it throws Interrupted at its
  // next loop step. A request made while no evaluation runs is forgotten
  // when the next one starts. Safe to call from a signal handler or another
  // thread.
  void interrupt() noexcept { calculator_interrupt(handle_.get()); }

  // Assigns a variable as a top-level set would. Throws Error when no
  // expression could read `name` back, or when the session already has its
  // 250 variables and `name` is new.
  void set_variable(std::string_view name, double value) {
    // A name the C interface would see cut short (too long, or holding a
    // NUL) goes as "", which it refuses with its message.
    detail::BoundedText bounded(is_name(name) ? name : std::string_view());
    ThrowUnlessOk(calculator_set_variable(handle_.get(), bounded.c_str(), value));
  }
  // The value of the variable spelled exactly `name`: every name that
  // variable_names() lists is found; a text the C interface would see cut
  // short (too long, or holding a NUL) names none.
  std::optional<double> variable(std::string_view name) const {
    if (name.size() > CALCULATOR_MAX_TEXT_LENGTH || name.find('\0') != std::string_view::npos) {
      return std::nullopt;
    }
    detail::BoundedText bounded(name);
    double value = 0.0;
    if (calculator_get_variable(handle_.get(), bounded.c_str(), &value) != CALCULATOR_OK) {
      return std::nullopt;
    }
    return value;
  }
  // Every variable name of the session, in the order first assigned.
  std::vector<std::string> variable_names() const {
    std::vector<std::string> names;
    std::size_t count = calculator_variable_count(handle_.get());
    for (std::size_t i = 0; i < count; ++i) {
      names.emplace_back(calculator_variable_name(handle_.get(), i));
    }
    return names;
  }

 private:
  static constexpr unsigned kDefaultProgressSteps = 4096;

  // Where the C interface's context pointer leads: stays put when the
  // Session moves.
  struct Handlers {
    calculator_session* session = nullptr;
    std::function<void(std::string_view)> report;
    std::function<bool()> progress;
    // What a handler threw; the evaluation stops and it is thrown again.
    std::exception_ptr failure;
  };
  struct Release {
    void operator()(calculator_session* session) const noexcept { calculator_free(session); }
  };

  static void ForwardReport(void* context, const char* line) noexcept {
    Handlers& handlers = *static_cast<Handlers*>(context);
    if (handlers.failure) {
      return;
    }
    try {
      handlers.report(line);
    } catch (...) {
      handlers.failure = std::current_exception();
      calculator_interrupt(handlers.session);
    }
  }

  static int ForwardProgress(void* context) noexcept {
    Handlers& handlers = *static_cast<Handlers*>(context);
    try {
      return handlers.progress() ? 1 : 0;
    } catch (...) {
      handlers.failure = std::current_exception();
      return 1;
    }
  }

  void RethrowHandlerFailure() {
    if (handlers_->failure) {
      std::rethrow_exception(std::exchange(handlers_->failure, nullptr));
    }
  }

  // Turns a status of the C interface into this interface's exception.
  void ThrowUnlessOk(int status) {
    RethrowHandlerFailure();
    switch (status) {
      case CALCULATOR_OK:
        return;
      case CALCULATOR_INTERRUPTED:
        throw Interrupted();
      case CALCULATOR_NO_MEMORY:
        throw std::bad_alloc();
      default:
        throw Error(calculator_error_message(handle_.get()));
    }
  }

  // Declared first, so that the C session goes before the handlers it calls.
  std::unique_ptr<Handlers> handlers_;
  std::unique_ptr<calculator_session, Release> handle_;
};

// The console's text of a value: six significant digits, "1e+006",
// "-1.#IND" and the like.
inline std::string format_number(double value) {
  char text[CALCULATOR_NUMBER_TEXT_SIZE];
  std::size_t length = calculator_format_number(value, text, sizeof text);
  return std::string(text, length);
}
// The same with `digits` significant digits, 1 to CALCULATOR_MAX_DIGITS,
// or CALCULATOR_SHORTEST_DIGITS for the shortest text that reads back as
// `value` (see calculator_format_number_digits); throws
// std::invalid_argument, with the library's message, for any other count.
// Since 2.1.
inline std::string format_number(double value, int digits) {
  char text[CALCULATOR_NUMBER_TEXT_SIZE];
  std::size_t length = calculator_format_number_digits(value, digits, text, sizeof text);
  if (length == 0) {
    throw std::invalid_argument(calculator_status_message(CALCULATOR_INVALID_DIGITS));
  }
  return std::string(text, length);
}
// The line a console writes once, before the first answer. Since 2.1.
inline const char* prompt() {
  return calculator_prompt();
}
// The line a console writes where an interrupted evaluation's answer would
// go, when the session goes on: "Error : " and Interrupted's text. Since
// 2.1.
inline const char* interrupted_line() {
  return calculator_interrupted_line();
}
// The library's version, "MAJOR.MINOR.PATCH".
inline const char* version() {
  return calculator_version();
}
// True when an expression can read `text` as one name: a letter, then
// letters and digits, at most CALCULATOR_MAX_TEXT_LENGTH in all.
inline bool is_name(std::string_view text) {
  return calculator_is_name(text.data(), text.size()) != 0;
}
// The names of the constants ("pi", "e") and of the functions, in the order
// they are looked up.
inline std::vector<std::string> constant_names() {
  return detail::ListedNames(calculator_constant_name);
}
inline std::vector<std::string> function_names() {
  return detail::ListedNames(calculator_function_name);
}

}  // namespace calculator
