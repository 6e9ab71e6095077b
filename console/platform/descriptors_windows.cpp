// The Windows side of descriptors.h: the C run-time's descriptors over the
// system's handles, and file names in UTF-16.

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <initializer_list>

#include "console/platform/descriptors.h"
#include "console/platform/wide_text_windows.h"

namespace {

constexpr int kStandardError = 2;

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

}  // namespace

// _isatty also holds for the NUL device; only a console has a console mode.
bool AtTerminal() {
  return IsConsole(STD_INPUT_HANDLE) && IsConsole(STD_OUTPUT_HANDLE);
}

void ReserveStandardDescriptors() {
  for (int fd : {kStandardInput, kStandardOutput, kStandardError}) {
    if (HandleOf(fd) == INVALID_HANDLE_VALUE) {
      // The lowest free number is `fd`: the ones below it are open by now.
      const int reserved = _open("NUL", fd == kStandardInput ? _O_WRONLY : _O_RDONLY);
      if (reserved >= 0 && reserved != fd) {
        _close(reserved);
      }
    }
  }
  // Lines end in LF or CR LF either way; in text mode a ^Z would end the
  // input early. Standard output stays in text mode: it writes CR LF.
  _setmode(kStandardInput, _O_BINARY);
}

namespace {

// 0, or why `path` cannot be a FILE before it is even opened: it does not
// exist, or it is a folder (which Windows refuses to open with "Permission
// denied").
int LookAtFile(const std::wstring& path) {
  struct _stat64 status;
  if (_wstat64(path.c_str(), &status) != 0) {
    return errno;
  }
  return (status.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : 0;
}

int OpenForReading(const std::wstring& path, int& fd) {
  fd = _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  return fd < 0 ? errno : 0;
}

}  // namespace

// Opened and closed at once, which also catches a file that another
// program keeps from being read.
int CheckFileForReading(const std::string& name) {
  std::wstring path;
  if (!WideFromUtf8(name, path)) {
    return EILSEQ;
  }
  if (const int error = LookAtFile(path); error != 0) {
    return error;
  }
  int fd = -1;
  if (const int error = OpenForReading(path, fd); error != 0) {
    return error;
  }
  _close(fd);
  return 0;
}

int OpenFileForReading(const std::string& name, int& fd) {
  fd = -1;
  std::wstring path;
  if (!WideFromUtf8(name, path)) {
    return EILSEQ;
  }
  if (const int error = LookAtFile(path); error != 0) {
    return error;
  }
  return OpenForReading(path, fd);
}

// The run-time's descriptors count in unsigned ints; the console's reads and
// writes are far shorter.
unsigned CountOf(std::size_t size) {
  return size < UINT_MAX ? static_cast<unsigned>(size) : UINT_MAX;
}

std::ptrdiff_t ReadSome(int fd, char* buffer, std::size_t size) {
  return _read(fd, buffer, CountOf(size));
}

// Standard output stays in text mode: each line feed goes out as CR LF.
std::ptrdiff_t WriteSome(int fd, const char* bytes, std::size_t size) {
  return _write(fd, bytes, CountOf(size));
}

int CloseDescriptor(int fd) {
  return _close(fd) == 0 ? 0 : errno;
}

// Reads from pipes and files simply block; a stop request cancels them.
void WaitUntilReadableThroughSignals(int) {}

// Nothing on Windows promises a pipe write goes out whole; lines are short
// and written by one writer anyway.
std::size_t WholeWriteSize(int) {
  return 0;
}

void TakeBackFromFile(int fd, std::size_t count) {
  if (count == 0 || GetFileType(HandleOf(fd)) != FILE_TYPE_DISK) {
    return;
  }
  // The bytes taken back follow the last line feed: no CR was added to them.
  const long long end = _lseeki64(fd, 0, SEEK_CUR);
  if (end >= static_cast<long long>(count)) {
    // Best effort: the write error that follows is reported either way.
    // The offset comes back to the new end too: standard error sharing the
    // file would write its message past a hole of NUL bytes.
    const long long line_start = end - static_cast<long long>(count);
    if (_chsize_s(fd, line_start) == 0) {
      _lseeki64(fd, line_start, SEEK_SET);
    }
  }
}
