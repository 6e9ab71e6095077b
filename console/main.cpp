// The console calculator: one prompt, then one answer line for every input
// line, until the input ends.

#include "console/answer_loop.h"
#include "console/command_line.h"
#include "console/platform/descriptors.h"
#include "console/platform/program_arguments.h"
#include "console/platform/stop_signals.h"

int main(int argc, char** argv) {
  ReserveStandardDescriptors();
  TreatFileSizeLimitAsWriteError();
  return static_cast<int>(RunCommandLine(ParseCommandLine(ProgramArguments(argc, argv))));
}
