// Planted as libedit.so.2 in the folder where the program starts: if the
// program ever loads it, it says so and ends the program at once.

#include <unistd.h>

namespace {

[[gnu::constructor]] void Announce() {
  static const char kMessage[] = "\nplanted library ran\n";
  const ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)ignored;
  _exit(97);
}

}  // namespace
