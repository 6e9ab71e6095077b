// Put before the C library with LD_PRELOAD: standard output takes its first
// kRoom bytes, a write that passes them comes back short, and every later
// one fails with ENOSPC, as on a disk that fills up. Standard error, even
// when it shares the file, is left alone.

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr size_t kRoom = 1000;
size_t taken = 0;

}  // namespace

extern "C" ssize_t write(int fd, const void* bytes, size_t count) {
  using Write = ssize_t (*)(int, const void*, size_t);
  static const Write next = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
  if (fd != STDOUT_FILENO) {
    return next(fd, bytes, count);
  }
  if (taken == kRoom && count > 0) {
    errno = ENOSPC;
    return -1;
  }
  const size_t allowed = count < kRoom - taken ? count : kRoom - taken;
  const ssize_t written = next(fd, bytes, allowed);
  taken += written > 0 ? static_cast<size_t>(written) : 0;
  return written;
}
