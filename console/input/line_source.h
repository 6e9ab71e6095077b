// Where the lines of a session come from: a pipe or a file, read in large
// blocks (line_reader.h), or a person typing at a terminal
// (typed_lines.h).
#pragma once

#include <string_view>

class LineSource {
 public:
  enum class Outcome {
    kLine,      // a line came
    kCutShort,  // a stop signal arrived while it was typed: it is dropped
    kEnd,       // the input ended, a stop signal arrived or the output failed
    kFailed,    // reading failed: error() tells why
  };

  virtual ~LineSource() = default;

  // The next line, without its line feed, valid until the next call. The
  // output is flushed before every wait for input.
  virtual Outcome Next(std::string_view& line) = 0;
  // A person types the lines: a Ctrl-C only drops a line then.
  virtual bool typed() const = 0;
  // After kFailed, the errno of the read that failed.
  virtual int error() const { return 0; }
  // Once, when the session is done with the source, however it ended.
  virtual void Finish() {}
};
