#include "console/history_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console/command_line.h"

namespace {

const char kHistoryVariable[] = "CALCULATOR_HISTORY";
const char kStateHomeVariable[] = "XDG_STATE_HOME";
const char kHomeVariable[] = "HOME";
const char kDefaultStateHome[] = "/.local/state";
const char kHistoryFolder[] = "/calculator";
const char kHistoryFileName[] = "/history";

bool IsAbsolutePath(const char* path) {
  return path != nullptr && path[0] == '/';
}

// Like mkdir -p: creates every missing folder of `path`.
int MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), S_IRWXU) != 0 && errno != EEXIST) {
      return errno;
    }
    if (slash == std::string::npos) {
      return 0;
    }
  }
}

}  // namespace

std::optional<HistoryLocation> FindHistoryLocation(const EnvironmentLookup& lookup) {
  if (const char* named = lookup(kHistoryVariable); named != nullptr) {
    if (named[0] == '\0') {
      return std::nullopt;
    }
    return HistoryLocation{named, ""};
  }
  std::string state_home;
  if (const char* xdg = lookup(kStateHomeVariable); IsAbsolutePath(xdg)) {
    state_home = xdg;
  } else if (const char* home = lookup(kHomeVariable); IsAbsolutePath(home)) {
    state_home = std::string(home) + kDefaultStateHome;
  } else {
    return std::nullopt;
  }
  const std::string folder = state_home + kHistoryFolder;
  return HistoryLocation{folder + kHistoryFileName, folder};
}

int PrepareHistoryFile(const HistoryLocation& location) {
  if (!location.folder.empty()) {
    if (const int error = MakeFolders(location.folder); error != 0) {
      return error;
    }
  }
  // Opening for writing now tells at once whether the history can be saved
  // at the end.
  const int fd = open(location.file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    return errno;
  }
  close(fd);
  return 0;
}

void WarnHistoryNotKept(const std::string& file, int error) {
  std::fprintf(stderr, "%s: history not kept in %s: %s\n", kProgramName, file.c_str(),
               std::strerror(error));
}
