#include "console/input/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "console/platform/descriptors.h"

namespace {

constexpr int kEndOfInput = -1;

// A non-blocking input with nothing to read yet: the wait hook waits before
// the next read; without one, this does.
void WaitUnlessHooked(const LineReader& reader) {
  if (reader.hooks.wait_for_input == nullptr) {
    WaitUntilReadable(reader.fd);
  }
}

bool Refill(LineReader& reader) {
  if (reader.at_end) {
    return false;
  }
  const LineReaderHooks& hooks = reader.hooks;
  for (;;) {
    if (hooks.before_read != nullptr) {
      hooks.before_read(hooks.context);
    }
    if (hooks.wait_for_input != nullptr && !hooks.wait_for_input(hooks.context, reader.fd)) {
      break;
    }
    ssize_t count = read(reader.fd, reader.chunk, sizeof reader.chunk);
    if (count > 0) {
      reader.start = 0;
      reader.end = static_cast<int>(count);
      return true;
    }
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      WaitUnlessHooked(reader);
      continue;
    }
    if (count < 0) {
      reader.error = errno;
    }
    break;
  }
  // End of input, a failed read, or a stop: either way no further line will
  // come.
  reader.at_end = true;
  return false;
}

int PeekByte(LineReader& reader) {
  if (reader.start == reader.end && !Refill(reader)) {
    return kEndOfInput;
  }
  return static_cast<unsigned char>(reader.chunk[reader.start]);
}

int NextByte(LineReader& reader) {
  int c = PeekByte(reader);
  if (c != kEndOfInput) {
    ++reader.start;
  }
  return c;
}

// Reads the next character with carriage return + line feed read as one
// line feed, the way a text-mode stream delivers it.
int NextCharacter(LineReader& reader) {
  int c = NextByte(reader);
  if (c == '\r' && PeekByte(reader) == '\n') {
    return NextByte(reader);
  }
  return c;
}

void DiscardRestOfLine(LineReader& reader) {
  int c = NextCharacter(reader);
  while (c != '\n' && c != kEndOfInput) {
    c = NextCharacter(reader);
  }
}

// The common case, done without going byte by byte: the whole line, line
// feed included, is in the chunk already.
bool ReadLineInChunk(LineReader& reader, char* line) {
  const char* begin = reader.chunk + reader.start;
  const void* feed = std::memchr(begin, '\n', static_cast<std::size_t>(reader.end - reader.start));
  if (feed == nullptr) {
    return false;
  }
  const char* end = static_cast<const char*>(feed);
  reader.start = static_cast<int>(end - reader.chunk) + 1;
  if (end > begin && end[-1] == '\r') {
    --end;
  }
  const std::ptrdiff_t length = end - begin;
  std::memcpy(line, begin,
              static_cast<std::size_t>(length < kMaxLineLength ? length : kMaxLineLength));
  return true;
}

}  // namespace

void OpenLineReader(LineReader& reader, int fd, LineReaderHooks hooks) {
  reader.fd = fd;
  reader.hooks = hooks;
  reader.start = 0;
  reader.end = 0;
  reader.at_end = false;
  reader.error = 0;
}

bool ReadLine(LineReader& reader, char* line) {
  std::memset(line, 0, kLineBufferSize);
  if (ReadLineInChunk(reader, line)) {
    return true;
  }
  int length = 0;
  for (;;) {
    int c = NextCharacter(reader);
    if (c == kEndOfInput) {
      return length > 0;
    }
    if (c == '\n') {
      return true;
    }
    if (length == kMaxLineLength) {
      // Only the first 249 characters of an overlong line are answered.
      DiscardRestOfLine(reader);
      return true;
    }
    line[length++] = static_cast<char>(c);
  }
}
