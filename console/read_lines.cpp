// Lines of a pipe or a file: the line reader's blocks, with the output
// flushed before every wait for more input.

#include "console/input/line_source.h"
#include "console/platform/stop_signals.h"

namespace {

void FlushBeforeRead(void* output) {
  static_cast<Output*>(output)->BeforeWait();
}

// No reader is left to answer once the output failed.
bool WaitForInputUnlessDone(void* output, int fd) {
  return !static_cast<Output*>(output)->failed() && WaitForInput(fd);
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
