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

int CheckFileForReading(const std::string& name) {
  std::wstring path;
  if (!WideFromUtf8(name, path)) {
    return EILSEQ;
  }
  struct _stat64 status;
  if (_wstat64(path.c_str(), &status) != 0) {
    return errno;
  }
  if ((status.st_mode & _S_IFMT) == _S_IFDIR) {
    return EISDIR;
  }
  constexpr int kReadable = 4;
  return _waccess(path.c_str(), kReadable) == 0 ? 0 : errno;
}

int OpenFileForReading(const std::string& name, int& fd) {
  fd = -1;
  // Windows refuses to open a directory with "Permission denied": the check
  // tells it apart.
  if (const int error = CheckFileForReading(name); error != 0) {
    return error;
  }
  std::wstring path;
  WideFromUtf8(name, path);
  fd = _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  return fd < 0 ? errno : 0;
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
    _chsize_s(fd, end - static_cast<long long>(count));
  }
}
