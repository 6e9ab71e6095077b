// The console calculator: one prompt, then one answer line for every input
// line, until the input ends.

#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "calculator/calculator.hpp"
#include "console/command_line.h"
#include "console/console.h"
#include "console/inputs.h"
#include "console/typed_lines.h"

namespace {

constexpr int kBadUsageStatus = 2;

// Lines are typed by a person only when both ends are a terminal; output
// redirected to a file gets no editing and no escape sequences.
bool AtTerminal() {
  return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1;
}

int RunSession(const CommandLine& command_line, const std::vector<Input>& inputs) {
  // A reader that goes away must not end the session; its answers are lost.
  std::signal(SIGPIPE, SIG_IGN);

  // Large buffers: kept off the stack.
  static Console console;
  PrepareConsole(console);
  if (!command_line.quiet) {
    console.output.WriteLine("Please input expression.");
  }
  const bool at_terminal = AtTerminal();
  for (const Input& input : inputs) {
    if (input.is_standard_input && at_terminal) {
      AnswerTypedLines(console);
    } else {
      AnswerInput(console, input.fd);
    }
    CloseInput(input);
  }
  console.output.Flush();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine command_line = ParseCommandLine(argc, argv);
  switch (command_line.action) {
    case CommandLine::Action::kShowHelp:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case CommandLine::Action::kShowVersion:
      std::fputs(VersionText(calculator::version()).c_str(), stdout);
      return 0;
    case CommandLine::Action::kBadUsage:
      std::fputs(kTryHelpText, stderr);
      return kBadUsageStatus;
    case CommandLine::Action::kRun:
      break;
  }
  const std::optional<std::vector<Input>> inputs = OpenInputs(command_line.inputs);
  if (!inputs) {
    return kBadUsageStatus;
  }
  return RunSession(command_line, *inputs);
}
