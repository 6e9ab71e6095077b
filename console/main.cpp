// The console calculator: one prompt, then one answer line for every input
// line, until the input ends.

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "calculator/calculator.hpp"
#include "console/answer_loop.h"
#include "console/command_line.h"
#include "console/platform/descriptors.h"
#include "console/inputs.h"
#include "console/platform/program_arguments.h"
#include "console/platform/stop_signals.h"

namespace {

constexpr int kBadUsageStatus = 2;

}  // namespace

int main(int argc, char** argv) {
  ReserveStandardDescriptors();
  TreatFileSizeLimitAsWriteError();
  std::vector<std::string> arguments = ProgramArguments(argc, argv);
  std::vector<char*> argument_pointers;
  for (std::string& argument : arguments) {
    argument_pointers.push_back(&argument[0]);
  }
  argument_pointers.push_back(nullptr);
  const CommandLine command_line =
      ParseCommandLine(static_cast<int>(arguments.size()), argument_pointers.data());
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
  std::optional<std::vector<Input>> inputs = CheckInputs(command_line.inputs);
  if (!inputs) {
    return kBadUsageStatus;
  }
  return AnswerInputs(std::move(*inputs), command_line.quiet, command_line.digits);
}
