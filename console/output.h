// Console output: answer and report lines collect in one buffer that goes
// out in blocks, at these moments only: before the program waits for input,
// when the buffer is full, once an evaluation has run for 50 ms, at the end,
// and, as far as the reader takes it without waiting, before a stop signal
// ends the program.
//
// A failed write (anything but EINTR and EAGAIN) is kept: from then on the
// lines are dropped and failed() tells the caller to end the program. With
// the output a pipe, every write holds whole lines and goes out whole or
// not at all, so a reader never sees part of a line; in a file that
// fills up, the part of a line that fitted is taken back.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

class Output {
 public:
  explicit Output(int fd) : fd_(fd) {}
  ~Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Adds `first`, `second` and a newline as one line. A line is cut to
  // kLongestLine characters; a full buffer is written out first.
  void WriteLine(std::string_view first, std::string_view second = {});
  // Adds text made of whole lines, as it is.
  void WriteText(std::string_view text);

  // The program is about to wait for input.
  void BeforeWait() { Flush(); }
  // An evaluation begins; DuringEvaluation is called as it goes on.
  void EvaluationStarts() { timing_evaluation_ = false; }
  void DuringEvaluation();
  // Writes everything collected so far, waiting for the reader as long as it
  // takes, unless the stop check says the program must end: the lines not yet
  // written then stay for FlushBeforeSignalEnd.
  void Flush();
  // Writes what the reader takes without waiting and drops the rest.
  void FlushBeforeSignalEnd();
  // Flushes and closes the descriptor, for a close that fails to count too.
  void Close();

  // Asked before every write and during every wait for the reader.
  void SetStopCheck(bool (*must_stop)(void* context), void* context) {
    must_stop_ = must_stop;
    stop_context_ = context;
  }

  bool failed() const { return error_ != 0; }
  // The errno of the first failed write, or 0.
  int error() const { return error_; }

  // The longest line kept whole: any line of the library, answer or report
  // (output.cpp checks it), and the console's own, whose "\r" and report
  // prefixes come on top of the library's CALCULATOR_ANSWER_SIZE.
  static constexpr std::size_t kLongestLine = 512;

 private:
  static constexpr std::size_t kBufferSize = 65536;

  bool MustStop() const { return must_stop_ != nullptr && must_stop_(stop_context_); }
  void MakeRoom(std::size_t size);
  // How much of what is left after `done` the next write takes.
  std::size_t NextWriteSize(std::size_t done);
  // Where the line that holds the byte before `end` starts.
  std::size_t LineStartBefore(std::size_t end) const;
  // Keeps the bytes after `done`, which were not written, at the front.
  void KeepUnwritten(std::size_t done);

  int fd_;
  int error_ = 0;
  bool whole_write_size_known_ = false;
  std::size_t whole_write_size_ = 0;
  bool (*must_stop_)(void*) = nullptr;
  void* stop_context_ = nullptr;
  // Set at the first progress call of an evaluation with output pending.
  bool timing_evaluation_ = false;
  std::chrono::steady_clock::time_point evaluation_seen_;
  std::size_t used_ = 0;
  char buffer_[kBufferSize];
};
