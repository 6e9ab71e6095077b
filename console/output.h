// Console output: answer and report lines collect in one buffer that goes
// out in blocks. The caller decides when a block is due: before the program
// waits for input, during a long evaluation, at the end.
#pragma once

#include <cstddef>
#include <string_view>

class Output {
 public:
  explicit Output(int fd) : fd_(fd) {}
  ~Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Adds `first`, `second` and a newline as one line. A line is cut to
  // kMaxLineLength characters; a full buffer is written out first.
  void WriteLine(std::string_view first, std::string_view second = {});
  // Writes everything collected so far. Output failures are ignored: the
  // lines are dropped and the session goes on.
  void Flush();
  bool HasPending() const { return used_ > 0; }

  static constexpr std::size_t kMaxLineLength = 512;

 private:
  static constexpr std::size_t kBufferSize = 65536;

  int fd_;
  std::size_t used_ = 0;
  char buffer_[kBufferSize];
};
