#include "console/output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Copies as much of `text` as `room` allows; returns the count copied.
std::size_t CopyBounded(char* out, std::size_t room, std::string_view text) {
  std::size_t count = text.size() < room ? text.size() : room;
  if (count > 0) {  // an empty view may hold a null pointer
    std::memcpy(out, text.data(), count);
  }
  return count;
}

}  // namespace

void Output::WriteLine(std::string_view first, std::string_view second) {
  if (kBufferSize - used_ < kMaxLineLength + 1) {
    Flush();
  }
  std::size_t length = CopyBounded(buffer_ + used_, kMaxLineLength, first);
  length += CopyBounded(buffer_ + used_ + length, kMaxLineLength - length, second);
  buffer_[used_ + length] = '\n';
  used_ += length + 1;
}

void Output::Flush() {
  const char* next = buffer_;
  std::size_t left = used_;
  while (left > 0) {
    ssize_t written = write(fd_, next, left);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      break;
    }
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  used_ = 0;
}
