// The lines of a pipe or a file, read in large blocks on both platforms,
// one line at a time into a line buffer of the evaluator's text length.
//
// A line feed ends a line and is dropped, as is a carriage return right
// before it. A NUL is stored like any other byte. A line longer than
// CALCULATOR_MAX_TEXT_LENGTH characters yields its first ones and the rest,
// up to and including its line feed, is discarded. A last line without a
// line feed is a line.
#pragma once

#include <cstddef>
#include <memory>

#include "calculator/calculator.h"
#include "console/input/line_source.h"
#include "console/output.h"

// A line and its terminator.
constexpr int kLineBufferSize = CALCULATOR_MAX_TEXT_LENGTH + 1;
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

// The lines of `fd`, a pipe or a file, read by `reader`, which must
// outlive the source, with `output` flushed before every wait for more
// input.
std::unique_ptr<LineSource> OpenReadLines(int fd, Output& output, LineReader& reader);
