// The lines typed at a POSIX terminal. Built with libedit, the key editor
// offers the editing keys, a history kept across sessions and Tab
// completion of names; without it, or on a terminal that cannot move its
// cursor (TERM=dumb), the terminal's own line input (Backspace, Ctrl-U,
// Ctrl-W) reads the lines, which are still kept in the history.

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/input/completion.h"
#include "console/input/history_file_posix.h"
#include "console/input/typed_lines.h"
#include "console/platform/descriptors.h"
#include "console/platform/stop_signals.h"
#include "console/program_messages.h"

#ifdef CALCULATOR_HAVE_LIBEDIT
#include "console/input/key_editor_posix.h"
#include "console/input/libedit_posix.h"
#endif

namespace {

void WriteToTerminal(std::string_view text) {
  // Only screen cosmetics: a failed write changes nothing else.
  WriteSome(kStandardOutput, text.data(), text.size());
}

// The evaluator's blank, the space alone: a line of nothing but spaces is
// no line to answer or keep. One with a tab is answered as on a pipe.
bool HoldsOnlySpaces(std::string_view line) {
  return line.find_first_not_of(' ') == std::string_view::npos;
}

void WarnLongLine() {
  WriteProgramMessage("only the first %d characters of the line were read",
                      CALCULATOR_MAX_TEXT_LENGTH);
}

CompletionNames NamesOf(const calculator::Session& session) {
  CompletionNames names;
  names.constants = calculator::constant_names();
  names.variables = session.variable_names();
  names.functions = calculator::function_names();
  return names;
}

// The terminal's own line input: the terminal echoes and edits, the
// program only collects whole lines.
class PlainLines {
 public:
  LineSource::Outcome Read(std::string& line) {
    for (;;) {
      const std::size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        line.assign(pending_, 0, end);
        pending_.erase(0, end + 1);
        return LineSource::Outcome::kLine;
      }
      if (ended_) {
        if (pending_.empty()) {
          return LineSource::Outcome::kEnd;
        }
        line.swap(pending_);
        pending_.clear();
        return LineSource::Outcome::kLine;
      }
      if (!WaitForInputUnlessStopped(kStandardInput)) {
        // The terminal has dropped what was typed and echoed ^C itself.
        pending_.clear();
        WriteToTerminal("\n");
        return LineSource::Outcome::kCutShort;
      }
      Fill();
    }
  }

 private:
  void Fill() {
    char chunk[4096];
    const std::ptrdiff_t count = ReadSome(kStandardInput, chunk, sizeof chunk);
    if (count > 0) {
      pending_.append(chunk, static_cast<std::size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      // Ctrl-D, or a terminal that is gone: the session ends on a fresh
      // line.
      ended_ = true;
      WriteToTerminal("\n");
    }
  }

  std::string pending_;
  bool ended_ = false;
};

#ifdef CALCULATOR_HAVE_LIBEDIT
// Line editing needs a terminal that can move its cursor about.
bool TerminalCanEdit() {
  const char* term = std::getenv("TERM");
  return term != nullptr && term[0] != '\0' && std::strcmp(term, "dumb") != 0;
}
#endif

class TypedLines : public LineSource {
 public:
  TypedLines(Output& output, const calculator::Session& session)
      : output_(output), names_([&session] { return NamesOf(session); }) {
    if (std::optional<HistoryLocation> location = FindHistoryLocation(std::getenv)) {
      if (std::optional<HistoryLines> lines = LoadHistoryLines(*location)) {
        history_ = std::move(location);
        recalled_ = std::move(*lines);
      }
    }
#ifdef CALCULATOR_HAVE_LIBEDIT
    if (TerminalCanEdit() && LoadLibedit() != nullptr) {
      keys_ = std::make_unique<KeyEditor>(names_, recalled_);
    }
#endif
  }

  // A line of nothing but spaces is skipped. A line longer than the
  // evaluator reads is handed over whole, after a warning on standard
  // error. After kCutShort and kEnd the cursor stands at the start of a
  // fresh screen line.
  Outcome Next(std::string_view& line) override {
    for (;;) {
      output_.BeforeWait();
      if (output_.failed()) {
        return Outcome::kEnd;
      }
      const Outcome outcome = ReadTyped();
      if (outcome != Outcome::kLine) {
        return outcome;
      }
      // A NUL (Ctrl-@, Ctrl-Space) is no part of any expression.
      line_.erase(std::remove(line_.begin(), line_.end(), '\0'), line_.end());
      if (HoldsOnlySpaces(line_)) {
        continue;
      }
      Remember();
      if (line_.size() > static_cast<std::size_t>(CALCULATOR_MAX_TEXT_LENGTH)) {
        WarnLongLine();
      }
      line = line_;
      return outcome;
    }
  }

  bool typed() const override {
    return true;
  }

  // Adds this session's lines to the history file.
  void Finish() override {
    if (history_ && !typed_.empty()) {
      SaveHistoryLines(*history_, std::vector<std::string>(typed_.begin(), typed_.end()));
    }
  }

 private:
  Outcome ReadTyped() {
#ifdef CALCULATOR_HAVE_LIBEDIT
    if (keys_) {
      return keys_->Read(line_);
    }
#endif
    return plain_.Read(line_);
  }

  void Remember() {
    if (!IsKeptInHistory(line_)) {
      return;
    }
    // Whether it repeats the line before it is decided again at the save,
    // against the file as other sessions have left it.
    AddHistoryLine(typed_, line_);
    if (!recalled_.empty() && recalled_.back() == line_) {
      return;
    }
    AddHistoryLine(recalled_, line_);
#ifdef CALCULATOR_HAVE_LIBEDIT
    if (keys_) {
      keys_->Recall(line_);
    }
#endif
  }

  Output& output_;
  std::function<CompletionNames()> names_;
  std::optional<HistoryLocation> history_;  // none: nothing is kept
  HistoryLines recalled_;                   // the lines that Up and Ctrl-R go through
  HistoryLines typed_;                      // this session's, for the save at the end
  std::string line_;
  PlainLines plain_;
#ifdef CALCULATOR_HAVE_LIBEDIT
  std::unique_ptr<KeyEditor> keys_;
#endif
};

}  // namespace

std::unique_ptr<LineSource> OpenTypedLines(Output& output, const calculator::Session& session) {
  // Typed text in the terminal's character set; LC_ALL would also change
  // how numbers are read and written. Before the editor starts.
  std::setlocale(LC_CTYPE, "");
  return std::make_unique<TypedLines>(output, session);
}
