// Lines of a pipe or a file: block reads, line ends, and lines too long
// for the evaluator cut at its text length.
#include "console/input/line_reader.h"

#include <cerrno>
#include <cstring>

#include "console/platform/descriptors.h"
#include "console/platform/stop_signals.h"

namespace {

constexpr int kEndOfInput = -1;

// A non-blocking input with nothing to read yet: the wait hook waits before
// the next read; without one, this does.
void WaitUnlessHooked(const LineReader& reader) {
  if (reader.hooks.wait_for_input == nullptr) {
    WaitUntilReadableThroughSignals(reader.fd);
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
    const std::ptrdiff_t count = ReadSome(reader.fd, reader.chunk, sizeof reader.chunk);
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
              static_cast<std::size_t>(
                  length < CALCULATOR_MAX_TEXT_LENGTH ? length : CALCULATOR_MAX_TEXT_LENGTH));
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
    if (length == CALCULATOR_MAX_TEXT_LENGTH) {
      // Only the first characters of an overlong line are answered.
      DiscardRestOfLine(reader);
      return true;
    }
    line[length++] = static_cast<char>(c);
  }
}

// The line source over the reader.
namespace {

void FlushBeforeRead(void* output) {
  static_cast<Output*>(output)->BeforeWait();
}

// No reader is left to answer once the output failed.
bool WaitForInputUnlessDone(void* output, int fd) {
  return !static_cast<Output*>(output)->failed() && WaitForInputUnlessStopped(fd);
}

class ReadLines : public LineSource {
 public:
  ReadLines(int fd, Output& output, LineReader& reader) : reader_(reader) {
    LineReaderHooks hooks;
    hooks.before_read = FlushBeforeRead;
    hooks.wait_for_input = WaitForInputUnlessDone;
    hooks.context = &output;
    OpenLineReader(reader_, fd, hooks);
  }

  Outcome Next(std::string_view& line) override {
    const bool got = ReadLine(reader_, buffer_);
    InputWaitOver();
    if (reader_.error != 0) {
      return Outcome::kFailed;  // a line cut short by the failure is dropped
    }
    if (!got) {
      return Outcome::kEnd;
    }
    line = buffer_;  // up to a NUL, where evaluation stops reading anyway
    return Outcome::kLine;
  }

  bool typed() const override { return false; }
  int error() const override { return reader_.error; }

 private:
  LineReader& reader_;
  char buffer_[kLineBufferSize];
};

}  // namespace

std::unique_ptr<LineSource> OpenReadLines(int fd, Output& output, LineReader& reader) {
  return std::make_unique<ReadLines>(fd, output, reader);
}
