#include "console/inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console/command_line.h"

namespace {

// Returns 0 and sets `fd`, or the errno of the failure. A directory opens
// fine but cannot be read as lines, so it counts as a failure here.
int OpenFile(const std::string& name, int& fd) {
  fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return errno;
  }
  struct stat status;
  if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    close(fd);
    fd = -1;
    return EISDIR;
  }
  return 0;
}

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
    const int error = OpenFile(name, fd);
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
