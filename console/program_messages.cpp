// The program's own messages on standard error.
#include "console/program_messages.h"

#include <cstdarg>
#include <cstdio>

const char kProgramName[] = "calculator";

void WriteProgramMessage(const char* format, ...) {
  // One write for the whole line, so that it is not split among other
  // programs' messages on a shared standard error; no allocation, as the
  // message may be that memory ran out. A longer line (a path of several
  // kilobytes) goes out in parts.
  char line[8192];
  const std::size_t prefix =
      static_cast<std::size_t>(std::snprintf(line, sizeof line, "%s: ", kProgramName));
  va_list arguments;
  va_start(arguments, format);
  va_list measured;
  va_copy(measured, arguments);
  const int length = std::vsnprintf(line + prefix, sizeof line - prefix, format, measured);
  va_end(measured);
  if (length >= 0 && prefix + static_cast<std::size_t>(length) + 1 < sizeof line) {
    const std::size_t end = prefix + static_cast<std::size_t>(length);
    line[end] = '\n';
    std::fwrite(line, 1, end + 1, stderr);
  } else {
    std::fputs(kProgramName, stderr);
    std::fputs(": ", stderr);
    std::vfprintf(stderr, format, arguments);
    std::fputc('\n', stderr);
  }
  va_end(arguments);
}
