// Reading and replacing the history file: the POSIX side of
// history_file_posix.h.

#include "console/input/history_file_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "console/platform/stop_signals.h"
#include "console/program_messages.h"

namespace {

constexpr std::size_t kReadChunk = 65536;
// Another session replacing the file between our open and our lock makes
// us start over; this many times in a row means something is wrong.
constexpr int kLockAttempts = 50;
// A session saves in far less time than this; a lock held longer belongs to
// something else, which is not waited for: the session has ended.
constexpr std::chrono::milliseconds kLockPatience(2000);
constexpr std::chrono::milliseconds kLockRetryPause(10);
const char kLockedReason[] = "Locked by another process";
// The new content goes to a file of this name beside the history
// ("history.saving-" and six characters), which is renamed over it.
const char kTemporarySuffix[] = ".saving-";
const char kTemporaryUniquePart[] = "XXXXXX";

using Clock = std::chrono::steady_clock;

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

std::string FolderOf(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : file.substr(0, slash);
}

std::string NameOf(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

void Warn(const std::string& file, const std::string& reason) {
  WriteProgramMessage("history not kept in %s: %s", file.c_str(), reason.c_str());
}

// Why the file at `status` must be left alone; empty when it may be used.
std::string RefusalReason(const struct stat& status) {
  if (S_ISLNK(status.st_mode)) {
    return "Is a symbolic link, which is not followed";
  }
  if (S_ISDIR(status.st_mode)) {
    return std::strerror(EISDIR);
  }
  if (!S_ISREG(status.st_mode)) {
    return "Not a regular file";
  }
  if (status.st_uid != geteuid()) {
    return "Owned by another user";
  }
  return "";
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// An open history file, closed (and its lock released) when this goes.
class OpenHistory {
 public:
  OpenHistory() = default;
  ~OpenHistory() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  OpenHistory(const OpenHistory&) = delete;
  OpenHistory& operator=(const OpenHistory&) = delete;

  // Opens `file`, creating it when missing. Returns the reason when it
  // cannot or must not be used.
  std::string Open(const std::string& file) {
    struct stat seen;
    if (lstat(file.c_str(), &seen) != 0) {
      if (errno != ENOENT) {
        return std::strerror(errno);
      }
      // O_EXCL: a file that someone else puts there meanwhile is checked
      // as any other on the next attempt.
      fd_ = open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd_ < 0 && errno == EEXIST) {
        return Open(file);
      }
      return fd_ < 0 ? std::strerror(errno) : "";
    }
    // A FIFO or a device is refused before it is opened, as opening one
    // may block or have effects of its own.
    if (std::string reason = RefusalReason(seen); !reason.empty()) {
      return reason;
    }
    fd_ = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
      return errno == ELOOP ? RefusalReason(seen) : std::strerror(errno);
    }
    struct stat opened;
    if (fstat(fd_, &opened) != 0) {
      return std::strerror(errno);
    }
    return RefusalReason(opened);
  }

  // Reads the whole file from its start.
  std::string Read(std::optional<HistoryLines>& lines) {
    if (lseek(fd_, 0, SEEK_SET) < 0) {
      return std::strerror(errno);
    }
    HistoryParser parser;
    std::string chunk(kReadChunk, '\0');
    for (;;) {
      const ssize_t count = read(fd_, chunk.data(), chunk.size());
      if (count < 0 && errno == EINTR) {
        continue;
      }
      if (count < 0) {
        return std::strerror(errno);
      }
      if (count == 0 ||
          !parser.Feed(std::string_view(chunk.data(), static_cast<std::size_t>(count)))) {
        break;
      }
    }
    lines = parser.Finish();
    return lines ? "" : "Not a history file, left as it is";
  }

  // Waits for the other sessions until `deadline`, or until a stop signal
  // beyond the `stops_before` that had come when the save began (the one
  // that ended the session must not cut short the wait for the others that
  // ended with it), then makes sure that the file locked is still the one
  // at `file`: a session that saved meanwhile has replaced it.
  std::string Lock(const std::string& file, Clock::time_point deadline, unsigned stops_before,
                   bool& replaced) {
    for (;;) {
      if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        locked_ = true;
        break;
      }
      // A file system without locks still gets the history, unshared.
      if (errno == ENOLCK || errno == EOPNOTSUPP) {
        break;
      }
      if (errno != EINTR && errno != EWOULDBLOCK) {
        return std::strerror(errno);
      }
      if (StopSignalsReceived() != stops_before || Clock::now() >= deadline) {
        return kLockedReason;
      }
      std::this_thread::sleep_for(kLockRetryPause);
    }
    struct stat locked;
    struct stat current;
    if (fstat(fd_, &locked) != 0) {
      return std::strerror(errno);
    }
    replaced = lstat(file.c_str(), &current) != 0 || !SameFile(locked, current);
    return "";
  }

  // After Lock: false on a file system without locks.
  bool locked() const { return locked_; }

 private:
  int fd_ = -1;
  bool locked_ = false;
};

bool WriteAll(int fd, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t count = write(fd, text.data() + written, text.size() - written);
    if (count < 0 && errno != EINTR) {
      return false;
    }
    written += count > 0 ? static_cast<std::size_t>(count) : 0;
  }
  return true;
}

// A file that a save of `file` began and never finished (the program was
// killed): named as the save names it, ours, and empty or content that the
// history reader takes as a history. Anything else is someone's file.
bool IsUnfinishedSave(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid()) {
    return false;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  HistoryParser parser;
  std::string chunk(kReadChunk, '\0');
  ssize_t count = 0;
  do {
    count = read(fd, chunk.data(), chunk.size());
  } while (
      (count > 0 && parser.Feed(std::string_view(chunk.data(), static_cast<std::size_t>(count)))) ||
      (count < 0 && errno == EINTR));
  close(fd);
  return count == 0 && parser.Finish().has_value();
}

// Under the lock no other session is saving: a temporary file beside `file`
// is what a killed save left behind.
void RemoveUnfinishedSaves(const std::string& file) {
  const std::string folder = FolderOf(file);
  const std::string prefix = NameOf(file) + kTemporarySuffix;
  DIR* entries = opendir(folder.c_str());
  if (entries == nullptr) {
    return;
  }
  while (const dirent* entry = readdir(entries)) {
    const std::string name = entry->d_name;
    if (name.size() == prefix.size() + sizeof kTemporaryUniquePart - 1 &&
        name.compare(0, prefix.size(), prefix) == 0 && IsUnfinishedSave(folder + "/" + name)) {
      unlink((folder + "/" + name).c_str());
    }
  }
  closedir(entries);
}

// Writes `content` to a new file beside `file` and renames it over `file`.
std::string ReplaceFile(const std::string& file, const std::string& content) {
  std::string temporary = file + kTemporarySuffix + kTemporaryUniquePart;
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    return std::strerror(errno);
  }
  const bool written = fchmod(fd, 0600) == 0 && WriteAll(fd, content) && fsync(fd) == 0;
  const int write_error = errno;
  if (close(fd) != 0 || !written) {
    const int error = written ? errno : write_error;
    unlink(temporary.c_str());
    return std::strerror(error);
  }
  if (rename(temporary.c_str(), file.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    return std::strerror(error);
  }
  // The rename itself reaches the disk with the folder.
  const int folder = open(FolderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return "";
}

std::string SaveUnderLock(const std::string& file, const std::vector<std::string>& typed) {
  const Clock::time_point deadline = Clock::now() + kLockPatience;
  const unsigned stops_before = StopSignalsReceived();
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    OpenHistory history;
    if (std::string reason = history.Open(file); !reason.empty()) {
      return reason;
    }
    bool replaced = false;
    if (std::string reason = history.Lock(file, deadline, stops_before, replaced);
        !reason.empty()) {
      return reason;
    }
    if (replaced) {
      continue;
    }
    std::optional<HistoryLines> lines;
    if (std::string reason = history.Read(lines); !reason.empty()) {
      return reason;
    }
    bool added = false;
    for (const std::string& line : typed) {
      added = AddHistoryLine(*lines, line) || added;
    }
    if (history.locked()) {
      RemoveUnfinishedSaves(file);
    }
    // Every line repeats the one before it in the file: nothing to add.
    return added ? ReplaceFile(file, FormatHistory(*lines)) : "";
  }
  return "Replaced by other sessions all the time";
}

}  // namespace

std::optional<HistoryLines> LoadHistoryLines(const HistoryLocation& location) {
  if (!location.folder.empty()) {
    if (const int error = MakeFolders(location.folder); error != 0) {
      Warn(location.file, std::strerror(error));
      return std::nullopt;
    }
  }
  OpenHistory history;
  std::optional<HistoryLines> lines;
  std::string reason = history.Open(location.file);
  if (reason.empty()) {
    reason = history.Read(lines);
  }
  // The file is replaced at the end through a new file beside it.
  if (reason.empty() && access(FolderOf(location.file).c_str(), W_OK | X_OK) != 0) {
    reason = std::strerror(errno);
  }
  if (!reason.empty()) {
    Warn(location.file, reason);
    return std::nullopt;
  }
  return lines;
}

bool SaveHistoryLines(const HistoryLocation& location, const std::vector<std::string>& typed) {
  const std::string reason = SaveUnderLock(location.file, typed);
  if (!reason.empty()) {
    Warn(location.file, reason);
    return false;
  }
  return true;
}
