// The FILE arguments: checked before anything is written, opened and
// closed one at a time.
#include "console/input_files.h"

#include <cstdio>
#include <cstring>

#include "console/command_line.h"
#include "console/platform/descriptors.h"
#include "console/program_messages.h"

namespace {

void ReportUnreadable(const std::string& name, int error) {
  WriteProgramMessage("%s: %s", name.c_str(), std::strerror(error));
}

}  // namespace

std::optional<std::vector<InputFile>> CheckInputFiles(const std::vector<std::string>& names) {
  std::vector<InputFile> inputs;
  bool all_readable = true;
  for (const std::string& name : names) {
    const bool standard_input = IsStandardInputName(name);
    const int error = standard_input ? 0 : CheckFileForReading(name);
    if (error != 0) {
      ReportUnreadable(name, error);
      all_readable = false;
    }
    inputs.push_back({standard_input ? kStandardInput : -1, standard_input, name});
  }
  if (!all_readable) {
    return std::nullopt;
  }
  return inputs;
}

int OpenInputFile(InputFile& input) {
  return input.is_standard_input ? 0 : OpenFileForReading(input.name, input.fd);
}

void CloseInputFile(const InputFile& input) {
  if (!input.is_standard_input && input.fd >= 0) {
    CloseDescriptor(input.fd);  // read to its end: nothing is lost if this fails
  }
}
