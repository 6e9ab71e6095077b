// The POSIX side of descriptors.h.

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "console/platform/descriptors.h"

bool AtTerminal() {
  return isatty(kStandardInput) == 1 && isatty(kStandardOutput) == 1;
}

void ReserveStandardDescriptors() {
  for (int fd : {kStandardInput, kStandardOutput, STDERR_FILENO}) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // The lowest free number is `fd`: the ones below it are open by now.
      const int reserved = open("/dev/null", fd == kStandardInput ? O_WRONLY : O_RDONLY);
      if (reserved >= 0 && reserved != fd) {
        close(reserved);
      }
    }
  }
}

std::size_t WholeWriteSize(int fd) {
  struct stat status;
  if (fstat(fd, &status) == 0 && S_ISFIFO(status.st_mode)) {
    return PIPE_BUF;
  }
  return 0;
}

void TakeBackFromFile(int fd, std::size_t count) {
  struct stat status;
  if (count == 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    return;
  }
  const off_t end = lseek(fd, 0, SEEK_CUR);
  if (end >= static_cast<off_t>(count)) {
    // Best effort: the write error that follows is reported either way.
    // The offset comes back to the new end too: standard error sharing the
    // file would write its message past a hole of NUL bytes.
    const off_t line_start = end - static_cast<off_t>(count);
    if (ftruncate(fd, line_start) == 0) {
      lseek(fd, line_start, SEEK_SET);
    }
  }
}

int CheckFileForReading(const std::string& name) {
  struct stat status;
  if (stat(name.c_str(), &status) != 0) {
    return errno;
  }
  if (S_ISDIR(status.st_mode)) {
    return EISDIR;
  }
  // A FIFO is opened at its turn alone: a writer waiting for a reader would
  // see this one come and go. Its permission is all that can be told now.
  if (S_ISFIFO(status.st_mode)) {
    return faccessat(AT_FDCWD, name.c_str(), R_OK, AT_EACCESS) == 0 ? 0 : errno;
  }
  // Anything else is opened as it will be, which catches what no look
  // does: a socket, /dev/tty without a controlling terminal, a device
  // without its driver. Without waiting, and without taking a terminal.
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return errno;
  }
  close(fd);
  return 0;
}

std::ptrdiff_t ReadSome(int fd, char* buffer, std::size_t size) {
  return read(fd, buffer, size);
}

std::ptrdiff_t WriteSome(int fd, const char* bytes, std::size_t size) {
  return write(fd, bytes, size);
}

int CloseDescriptor(int fd) {
  return close(fd) == 0 ? 0 : errno;
}

int OpenFileForReading(const std::string& name, int& fd) {
  fd = open(name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return errno;
  }
  // A directory opens fine but cannot be read as lines.
  struct stat status;
  if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    close(fd);
    fd = -1;
    return EISDIR;
  }
  return 0;
}

void WaitUntilReadableThroughSignals(int fd) {
  pollfd input = {fd, POLLIN, 0};
  poll(&input, 1, -1);
}
