// Put before the C library with LD_PRELOAD: closing standard output closes
// it and then fails with EIO, as when a file system says only at the close
// that the data never reached the disk (NFS, a quota).

#include <dlfcn.h>

#include <cerrno>

extern "C" int close(int fd) {
  using Close = int (*)(int);
  static const Close next = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "close"));
  const int result = next(fd);
  constexpr int kStandardOutput = 1;
  if (fd == kStandardOutput && result == 0) {
    errno = EIO;
    return -1;
  }
  return result;
}
