// Reads the lines typed at a terminal. Built with libedit it offers the
// editing keys, a history kept across sessions and Tab completion of names;
// without it, or on a terminal that cannot move its cursor (TERM=dumb), the
// terminal's own line input (Backspace, Ctrl-U, Ctrl-W).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "console/input/completion.h"
#include "console/input/history_file_posix.h"

class LineEditor {
 public:
  enum class Outcome {
    kLine,      // a line was typed
    kCutShort,  // a signal arrived first: what was typed is dropped
    kEnd,       // Ctrl-D on an empty line, or the terminal is gone
  };

  // `names` is asked for the names to complete at every Tab. Without a
  // `history` location nothing is read or saved.
  LineEditor(std::function<CompletionNames()> names, std::optional<HistoryLocation> history);
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  // Reads one line into `line`, without its line feed. A line of nothing
  // but blanks is skipped. A line longer than the evaluator reads is handed
  // over whole, after a warning on standard error. After kCutShort and kEnd
  // the cursor stands at the start of a fresh screen line.
  Outcome ReadLine(std::string& line);

  // Adds this session's lines to the history file; once, when the session
  // ends.
  void SaveHistory();

  // Opaque; public only for libedit's callbacks.
  struct State;

 private:
  std::unique_ptr<State> state_;
};
