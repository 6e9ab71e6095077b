#include "console/console.h"

#include "console/signals.h"

namespace {

using Clock = std::chrono::steady_clock;

// Answers waiting in the output buffer go out once an evaluation has run
// this long, so a long line does not hold back the answers before it.
constexpr std::chrono::milliseconds kLongEvaluation(50);

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

bool WaitForInputUnlessStopped(void*, int fd) {
  return WaitForInput(fd);
}

}  // namespace

void PrepareConsole(Console& console) {
  console.session.on_report([&console](std::string_view line) { console.output.WriteLine(line); });
  console.session.on_progress([&console] { FlushIfLongEvaluation(console); });
  InstallStopSignals(console.session);
}

bool AnswerLine(Console& console, std::string_view line) {
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

void EndOnStopSignal(Console& console) {
  int signal = PendingStopSignal();
  if (signal != 0) {
    console.output.Flush();
    EndBySignal(signal);
  }
}

void AnswerInput(Console& console, int fd) {
  LineReaderHooks hooks;
  hooks.before_read = FlushBeforeRead;
  hooks.wait_for_input = WaitForInputUnlessStopped;
  hooks.context = &console;
  OpenLineReader(console.input, fd, hooks);

  char line[kLineBufferSize];
  while (ReadLine(console.input, line)) {
    EndOnStopSignal(console);
    AnswerLine(console, line);
    EndOnStopSignal(console);
  }
  EndOnStopSignal(console);
}
