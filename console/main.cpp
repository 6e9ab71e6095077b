// The console calculator: one prompt, then one answer line for every input
// line, until standard input ends.

#include <unistd.h>

#include <chrono>
#include <csignal>

#include "calculator/calculator.hpp"
#include "console/line_reader.h"
#include "console/output.h"
#include "console/signals.h"

namespace {

using Clock = std::chrono::steady_clock;

// Answers waiting in the output buffer go out once an evaluation has run
// this long, so a long line does not hold back the answers before it.
constexpr std::chrono::milliseconds kLongEvaluation(50);

struct Console {
  Output output{STDOUT_FILENO};
  // The one session: it lives until the process ends, so variables carry
  // over from one line to the next.
  calculator::Session session;
  LineReader input;
  // Set at the first progress call of an evaluation with output pending.
  bool timing_evaluation = false;
  Clock::time_point evaluation_seen;
};

void FlushIfLongEvaluation(Console& console) {
  if (!console.output.HasPending()) {
    return;
  }
  Clock::time_point now = Clock::now();
  if (!console.timing_evaluation) {
    console.timing_evaluation = true;
    console.evaluation_seen = now;
  } else if (now - console.evaluation_seen >= kLongEvaluation) {
    console.output.Flush();
    console.timing_evaluation = false;
  }
}

void FlushBeforeRead(void* console) {
  static_cast<Console*>(console)->output.Flush();
}

bool StopRequested(void*) {
  return PendingStopSignal() != 0;
}

// Answers one line. Returns false when the evaluation was interrupted: the
// line then has no answer.
bool AnswerLine(Console& console, const char* line) {
  console.timing_evaluation = false;
  try {
    double value = console.session.evaluate(line);
    console.output.WriteLine("Result is ", calculator::format_number(value));
  } catch (const calculator::Interrupted&) {
    return false;
  } catch (const calculator::Error& error) {
    console.output.WriteLine("Error : ", error.what());
  }
  return true;
}

// Every answer already computed goes out before the signal ends the process.
void EndOnStopSignal(Console& console) {
  int signal = PendingStopSignal();
  if (signal != 0) {
    console.output.Flush();
    EndBySignal(signal);
  }
}

}  // namespace

int main() {
  // A reader that goes away must not end the session; its answers are lost.
  std::signal(SIGPIPE, SIG_IGN);

  // Large buffers: kept off the stack.
  static Console console;
  console.session.on_report([](std::string_view line) { console.output.WriteLine(line); });
  console.session.on_progress([] { FlushIfLongEvaluation(console); });
  InstallStopSignals(console.session);

  console.output.WriteLine("Please input expression.");
  LineReaderHooks hooks;
  hooks.before_read = FlushBeforeRead;
  hooks.stop_requested = StopRequested;
  hooks.context = &console;
  OpenLineReader(console.input, STDIN_FILENO, hooks);

  char line[kLineBufferSize];
  while (ReadLine(console.input, line)) {
    EndOnStopSignal(console);
    AnswerLine(console, line);
    EndOnStopSignal(console);
  }
  EndOnStopSignal(console);
  console.output.Flush();
  return 0;
}
