// Reads standard input one line at a time into the 250-byte line buffer.
//
// A line feed ends a line and is dropped, as is a carriage return right
// before it. A NUL is stored like any other byte. A line longer than 249
// characters yields its first 249 and the rest, up to and including its
// line feed, is discarded. A last line without a line feed is a line.
#pragma once

#include <cstddef>

constexpr int kLineBufferSize = 250;
constexpr int kMaxLineLength = kLineBufferSize - 1;
constexpr int kReadChunkSize = 65536;

// Optional calls out of the reader; null members are skipped.
struct LineReaderHooks {
  // Right before the reader asks the system for more input, which may wait.
  void (*before_read)(void* context) = nullptr;
  // Then, before the read: waits for input; false ends the input there.
  bool (*wait_for_input)(void* context, int fd) = nullptr;
  void* context = nullptr;
};

struct LineReader {
  int fd;
  LineReaderHooks hooks;
  int start;  // next unread byte of chunk
  int end;    // bytes of chunk filled
  bool at_end;
  int error;  // errno of a read that failed, or 0
  char chunk[kReadChunkSize];
};

void OpenLineReader(LineReader& reader, int fd, LineReaderHooks hooks = {});

// Fills `line` (kLineBufferSize bytes; zero-filled by this call) with the next
// line. Returns false, leaving `line` all zeros, when the input ended before
// a single byte of a new line arrived. A read that fails (not EINTR or
// EAGAIN) ends the input as well and leaves its errno in `reader.error`.
bool ReadLine(LineReader& reader, char* line);
