// Console output: the line buffer and when, and how whole, it is written.
#include "console/output.h"

#include <cerrno>
#include <cstring>

#include "calculator/calculator.h"
#include "console/platform/descriptors.h"
#include "console/platform/stop_signals.h"

// An answer fits its buffer; a report line is a line's text after a short
// prefix.
static_assert(Output::kLongestLine >= CALCULATOR_ANSWER_SIZE);
static_assert(Output::kLongestLine >= CALCULATOR_MAX_TEXT_LENGTH + 8);

namespace {

using Clock = std::chrono::steady_clock;

// Answers waiting in the buffer go out once an evaluation has run this long,
// so a long line does not hold back the answers before it.
constexpr std::chrono::milliseconds kLongEvaluation(50);

// Copies as much of `text` as `room` allows; returns the count copied.
std::size_t CopyWhatFits(char* out, std::size_t room, std::string_view text) {
  std::size_t count = text.size() < room ? text.size() : room;
  if (count > 0) {  // an empty view may hold a null pointer
    std::memcpy(out, text.data(), count);
  }
  return count;
}

}  // namespace

void Output::MakeRoom(std::size_t size) {
  if (kBufferSize - used_ < size) {
    Flush();
  }
}

void Output::WriteLine(std::string_view first, std::string_view second) {
  MakeRoom(kLongestLine + 1);
  if (failed() || kBufferSize - used_ < kLongestLine + 1) {
    return;  // dropped: the output failed, or a stop ends the program
  }
  std::size_t length = CopyWhatFits(buffer_ + used_, kLongestLine, first);
  length += CopyWhatFits(buffer_ + used_ + length, kLongestLine - length, second);
  buffer_[used_ + length] = '\n';
  used_ += length + 1;
}

void Output::WriteText(std::string_view text) {
  while (!text.empty() && !failed()) {
    MakeRoom(text.size() < kBufferSize ? text.size() : kBufferSize);
    const std::size_t copied = CopyWhatFits(buffer_ + used_, kBufferSize - used_, text);
    if (copied == 0) {
      return;  // a stop ends the program
    }
    used_ += copied;
    text.remove_prefix(copied);
  }
}

void Output::DuringEvaluation() {
  if (used_ == 0) {
    return;
  }
  Clock::time_point now = Clock::now();
  if (!timing_evaluation_) {
    timing_evaluation_ = true;
    evaluation_seen_ = now;
  } else if (now - evaluation_seen_ >= kLongEvaluation) {
    Flush();
    timing_evaluation_ = false;
  }
}

std::size_t Output::NextWriteSize(std::size_t done) {
  if (!whole_write_size_known_) {
    whole_write_size_ = WholeWriteSize(fd_);
    whole_write_size_known_ = true;
  }
  const std::size_t left = used_ - done;
  if (whole_write_size_ == 0 || left <= whole_write_size_) {
    return left;
  }
  // Lines are far shorter than a pipe's atomic size: one always ends in it.
  for (std::size_t size = whole_write_size_; size > 0; --size) {
    if (buffer_[done + size - 1] == '\n') {
      return size;
    }
  }
  return whole_write_size_;
}

void Output::KeepUnwritten(std::size_t done) {
  std::memmove(buffer_, buffer_ + done, used_ - done);
  used_ -= done;
}

void Output::Flush() {
  std::size_t done = 0;
  while (done < used_ && !failed()) {
    if (MustStop()) {
      KeepUnwritten(done);
      return;
    }
    const std::ptrdiff_t written = WriteSome(fd_, buffer_ + done, NextWriteSize(done));
    if (written > 0) {
      done += static_cast<std::size_t>(written);
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      WaitForOutput(
          fd_, must_stop_ != nullptr ? must_stop_ : [](void*) { return false; }, stop_context_);
    } else if (written < 0 && errno != EINTR) {
      error_ = errno;
    } else if (written == 0) {
      error_ = EIO;
    }
  }
  if (failed()) {
    TakeBackFromFile(fd_, done - LineStartBefore(done));
  }
  used_ = 0;
}

std::size_t Output::LineStartBefore(std::size_t end) const {
  while (end > 0 && buffer_[end - 1] != '\n') {
    --end;
  }
  return end;
}

void Output::FlushBeforeSignalEnd() {
  std::size_t done = 0;
  while (done < used_ && !failed() && TakesOutputNow(fd_)) {
    const std::size_t size = NextWriteSize(done);
    const std::ptrdiff_t written = WriteSome(fd_, buffer_ + done, size);
    if (written > 0) {
      done += static_cast<std::size_t>(written);
    }
    // A short write means the output is full (or a wake-up cut a blocked
    // write to a terminal short): what is left is dropped.
    if (written < static_cast<std::ptrdiff_t>(size)) {
      break;
    }
  }
  TakeBackFromFile(fd_, done - LineStartBefore(done));
  used_ = 0;
}

void Output::Close() {
  Flush();
  const int error = CloseDescriptor(fd_);
  if (error != 0 && error != EINTR && !failed()) {
    error_ = error;
  }
}
