// The calculator's evaluator for C++ programs.
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
// Do not include this header and <calculator/calculator.h> in one C++ file:
// the C interface's handle type and this namespace are both `calculator`.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "calculator/calculator_export.h"
#include "calculator/calculator_version.h"

namespace calculator {

// An evaluation error; what() is the message that the console prints after
// "Error : ".
class CALCULATOR_EXPORT Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  ~Error() override;
};

// The evaluation was abandoned at a loop step because interrupt() was
// called; what() is "Interrupted.".
class CALCULATOR_EXPORT Interrupted : public Error {
 public:
  Interrupted();
  ~Interrupted() override;
};

class CALCULATOR_EXPORT Session {
 public:
  Session();
  ~Session();
  Session(Session&&) noexcept;
  Session& operator=(Session&&) noexcept;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The value of the longest sum at the start of `text`; only its first 249
  // characters, up to a NUL, are read. Throws Error, or Interrupted.
  double evaluate(std::string_view text);
  // The console's answer line for `line`, without a newline: "Result is "
  // and the value, or "Error : " and the message.
  std::string answer(std::string_view line);

  // Receives, one line at a time and without newlines, the two report lines
  // of every failed nested evaluation of this session. Without a handler,
  // reports are discarded.
  void on_report(std::function<void(std::string_view line)> handler);
  // Called every few thousand loop steps while an evaluation runs, on the
  // evaluating thread: room for a long evaluation to show progress, flush
  // output or call interrupt().
  void on_progress(std::function<void()> handler);
  // Asks the evaluation that runs now to stop: it throws Interrupted at its
  // next loop step. A request made while no evaluation runs is forgotten
  // when the next one starts. Safe to call from a signal handler or another
  // thread.
  void interrupt() noexcept;

  // Assigns a variable as a top-level set would. Throws Error when the
  // session already has its 250 variables and `name` is new.
  void set_variable(std::string_view name, double value);
  std::optional<double> variable(std::string_view name) const;
  // Every variable name of the session, in the order first assigned.
  std::vector<std::string> variable_names() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The console's text of a value: six significant digits, "1e+006",
// "-1.#IND" and the like.
CALCULATOR_EXPORT std::string format_number(double value);
// The library's version, "MAJOR.MINOR.PATCH".
CALCULATOR_EXPORT const char* version();
// The names of the constants ("pi", "e") and of the functions, in the order
// they are looked up.
CALCULATOR_EXPORT std::vector<std::string> constant_names();
CALCULATOR_EXPORT std::vector<std::string> function_names();

}  // namespace calculator
