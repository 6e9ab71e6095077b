// The answer loop: the session, the stop-signal policy, the life of a line
// from its reading to its answer, and how the program ends and reports.
#include "console/answer_loop.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "calculator/calculator.hpp"
#include "console/input/line_reader.h"
#include "console/input/typed_lines.h"
#include "console/input_files.h"
#include "console/output.h"
#include "console/platform/descriptors.h"
#include "console/platform/stop_signals.h"
#include "console/program_messages.h"

namespace {

struct Console {
  Output output{kStandardOutput};
  // The one session: variables carry over from one line to the next, and
  // from one input to the next.
  calculator::Session session;
  LineReader reader;
  bool typed = false;  // the lines come from a person at a terminal
};

enum class Ending {
  kInputsDone,
  kStopSignal,
  kOpenFailed,
  kReadFailed,
  kWriteFailed,
  kOutOfMemory
};

// The stop-signal policy, all of it. SIGTERM and SIGHUP end the program
// wherever they arrive, and so does Ctrl-C (SIGINT) on lines nobody types.
// For a person at a terminal, Ctrl-C drops the line being typed or abandons
// the one being evaluated, and the session goes on.
bool StopEndsProgram(const Console& console) {
  const int signal = PendingStopSignal();
  return signal != 0 && !(console.typed && signal == SIGINT);
}

bool StopEndsProgramCheck(void* console) {
  return StopEndsProgram(*static_cast<const Console*>(console));
}

// A Ctrl-C that has done its part is forgotten; so is one that came after
// the editor handed the line over, too late to drop it and too early to
// stop its evaluation. A SIGTERM or SIGHUP is never forgotten.
void ForgetCtrlC(const Console& console) {
  if (console.typed) {
    ForgetPendingInterrupt();
  }
}

void Prepare(Console& console) {
  console.session.on_report([&console](std::string_view line) { console.output.WriteLine(line); });
  console.session.on_progress([&console] {
    console.output.DuringEvaluation();
    if (console.output.failed()) {
      console.session.interrupt();  // nobody is left to read the answer
    }
  });
  console.output.SetStopCheck(StopEndsProgramCheck, &console);
  InstallStopSignals(console.session);
}

// Evaluates one line and writes its answer. An interrupted line has none,
// unless a person pressed Ctrl-C and the session goes on.
void Answer(Console& console, std::string_view line) {
  console.output.EvaluationStarts();
  try {
    char answer[CALCULATOR_ANSWER_SIZE];
    console.output.WriteLine(console.session.answer(line, answer));
  } catch (const calculator::Interrupted&) {
    if (!StopEndsProgram(console) && !console.output.failed()) {
      // The terminal itself may have echoed "^C" where the answer goes: the
      // answer starts over at the left edge and covers it.
      console.output.WriteLine("\r", calculator::interrupted_line());
    }
  }
}

// The life of a line: it is read (the output goes out first if the reading
// has to wait), checked against the stop signals, answered, and the answer
// collects in the output.
Ending AnswerLines(Console& console, LineSource& source) {
  std::string_view line;
  for (;;) {
    ForgetCtrlC(console);
    const LineSource::Outcome outcome = source.Next(line);
    // A stop ends the program even when a whole line came with it.
    if (StopEndsProgram(console)) {
      return Ending::kStopSignal;
    }
    if (console.output.failed()) {
      return Ending::kWriteFailed;
    }
    switch (outcome) {
      case LineSource::Outcome::kLine:
        break;
      case LineSource::Outcome::kCutShort:
        continue;
      case LineSource::Outcome::kEnd:
        return Ending::kInputsDone;
      case LineSource::Outcome::kFailed:
        return Ending::kReadFailed;
    }
    ForgetCtrlC(console);
    Answer(console, line);
    if (StopEndsProgram(console)) {
      return Ending::kStopSignal;
    }
    if (console.output.failed()) {
      return Ending::kWriteFailed;
    }
  }
}

void Report(const std::string& subject, const char* reason) {
  WriteProgramMessage("%s: %s", subject.c_str(), reason);
}

// Writes out what is left, says what failed and gives the exit status; a stop
// signal ends the process instead.
ExitStatus Conclude(Console& console, Ending ending, const std::string& input_name,
                    int input_error) {
  if (ending != Ending::kStopSignal) {
    console.output.Flush();
    if (StopEndsProgram(console)) {
      ending = Ending::kStopSignal;  // it came while the last answers went out
    }
  }
  if (ending == Ending::kStopSignal) {
    console.output.FlushBeforeSignalEnd();
    const int signal = PendingStopSignal();
    EndBySignal(signal);
    return static_cast<ExitStatus>(kSignalStatusBase + signal);  // the signal is blocked
  }
  console.output.Close();
  if (ending == Ending::kOpenFailed || ending == Ending::kReadFailed) {
    Report(input_name, std::strerror(input_error));
  }
  if (ending == Ending::kOutOfMemory) {
    WriteProgramMessage("out of memory");
  }
  if (console.output.failed()) {
    Report("write error", std::strerror(console.output.error()));
  }
  if (ending == Ending::kOpenFailed) {
    return ExitStatus::kBadUsage;
  }
  return ending == Ending::kInputsDone && !console.output.failed() ? ExitStatus::kSuccess
                                                                   : ExitStatus::kFailure;
}

// Typed lines when `input` is standard input and both standard input and
// output are terminals; the reader's blocks otherwise.
std::unique_ptr<LineSource> OpenLineSource(const InputFile& input, bool at_terminal,
                                           Console& console) {
  if (input.is_standard_input && at_terminal) {
    return OpenTypedLines(console.output, console.session);
  }
  return OpenReadLines(input.fd, console.output, console.reader);
}

ExitStatus AnswerInputs(std::vector<InputFile> inputs, const CommandLine& command_line) {
  // Large buffers: kept off the stack.
  static Console console;
  Prepare(console);
  if (command_line.digits) {
    console.session.set_digits(*command_line.digits);  // checked by the command line
  }
  Ending ending = Ending::kInputsDone;
  std::string input_name;
  int input_error = 0;
  try {
    if (!command_line.quiet) {
      console.output.WriteLine(calculator::prompt());
    }
    const bool at_terminal = AtTerminal();
    for (InputFile& input : inputs) {
      // Opening a FIFO waits for its writer, as long as no stop comes; the
      // answers so far go out first, as before any wait for input.
      console.output.BeforeWait();
      int error = OpenInputFile(input);
      while (error == EINTR && !StopEndsProgram(console)) {
        error = OpenInputFile(input);
      }
      // The answers to the inputs before are kept; the rest is not read.
      if (error != 0) {
        ending = StopEndsProgram(console) ? Ending::kStopSignal : Ending::kOpenFailed;
        input_name = input.name;
        input_error = error;
        break;
      }
      std::unique_ptr<LineSource> source = OpenLineSource(input, at_terminal, console);
      console.typed = source->typed();
      ending = AnswerLines(console, *source);
      source->Finish();
      CloseInputFile(input);
      if (ending != Ending::kInputsDone) {
        input_name = input.name;
        input_error = source->error();
        break;
      }
      console.typed = false;
    }
  } catch (const std::bad_alloc&) {
    ending = Ending::kOutOfMemory;
  }
  return Conclude(console, ending, input_name, input_error);
}

// Writes `text` on standard output and closes it.
ExitStatus WriteAndClose(std::string_view text) {
  auto output = std::make_unique<Output>(kStandardOutput);
  output->WriteText(text);
  output->Close();
  if (output->failed()) {
    Report("write error", std::strerror(output->error()));
    return ExitStatus::kFailure;
  }
  return ExitStatus::kSuccess;
}

}  // namespace

ExitStatus RunCommandLine(const CommandLine& command_line) {
  switch (command_line.action) {
    case CommandLine::Action::kShowHelp:
      return WriteAndClose(UsageText());
    case CommandLine::Action::kShowVersion:
      return WriteAndClose(VersionText(calculator::version()));
    case CommandLine::Action::kBadUsage:
      std::fputs(TryHelpText().c_str(), stderr);
      return ExitStatus::kBadUsage;
    case CommandLine::Action::kRun:
      break;
  }
  std::optional<std::vector<InputFile>> inputs = CheckInputFiles(command_line.inputs);
  if (!inputs) {
    return ExitStatus::kBadUsage;
  }
  return AnswerInputs(std::move(*inputs), command_line);
}
