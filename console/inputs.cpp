#include "console/inputs.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "console/command_line.h"
#include "console/descriptors.h"

namespace {

void ReportUnreadable(const std::string& name, int error) {
  std::fprintf(stderr, "%s: %s: %s\n", kProgramName, name.c_str(), std::strerror(error));
}

}  // namespace

std::optional<std::vector<Input>> OpenInputs(const std::vector<std::string>& names) {
  std::vector<Input> inputs;
  bool all_opened = true;
  for (const std::string& name : names) {
    if (IsStandardInputName(name)) {
      inputs.push_back({STDIN_FILENO, true, name});
      continue;
    }
    int fd = -1;
    const int error = OpenFileForReading(name, fd);
    if (error != 0) {
      ReportUnreadable(name, error);
      all_opened = false;
      continue;
    }
    inputs.push_back({fd, false, name});
  }
  if (!all_opened) {
    for (const Input& input : inputs) {
      CloseInput(input);
    }
    return std::nullopt;
  }
  return inputs;
}

void CloseInput(const Input& input) {
  if (!input.is_standard_input) {
    close(input.fd);
  }
}
