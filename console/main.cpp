// The console calculator: one prompt, then one answer line for every input
// line, until the input ends.

#include <cstdio>

#include "calculator/calculator.hpp"
#include "console/answer_loop.h"
#include "console/command_line.h"
#include "console/descriptors.h"
#include "console/inputs.h"

namespace {

constexpr int kBadUsageStatus = 2;

}  // namespace

int main(int argc, char** argv) {
  ReserveStandardDescriptors();
  const CommandLine command_line = ParseCommandLine(argc, argv);
  switch (command_line.action) {
    case CommandLine::Action::kShowHelp:
      return WriteAndClose(UsageText());
    case CommandLine::Action::kShowVersion:
      return WriteAndClose(VersionText(calculator::version()));
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
  return AnswerInputs(*inputs, command_line.quiet);
}
