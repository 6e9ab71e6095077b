// The console calculator: one prompt, then one answer line for every input
// line, until standard input ends.

#include <csignal>

#include "calculator/calculator.h"
#include "console/line_reader.h"
#include "console/number_format.h"
#include "console/output.h"

namespace {

// The one Calculator of the session. It lives until the process ends, so
// variables carry over from one line to the next.
Calculator* session_calculator = nullptr;
LineReader input;

void AnswerLine(const char* line) {
  double value = 0.0;
  try {
    value = Calculate(*session_calculator, line);
  } catch (const EvaluationError& error) {
    WriteLine("Error : ", error.message);
    return;
  }
  char number[kNumberTextSize];
  FormatNumber(value, number);
  WriteLine("Result is ", number);
}

}  // namespace

int main() {
  // A reader that goes away must not end the session; its answers are lost.
  std::signal(SIGPIPE, SIG_IGN);

  WriteLine("Please input expression.", "");
  session_calculator = new Calculator;
  OpenLineReader(input, 0);

  char line[kLineBufferSize];
  while (ReadLine(input, line)) {
    AnswerLine(line);
  }
  return 0;
}
